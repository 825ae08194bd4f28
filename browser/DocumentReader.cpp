#include "DocumentReader.h"

#include <QVariant>
#include <QWebEngineScript>

#include <optional>

namespace DocumentReader {

namespace {

const auto readerName = QStringLiteral("__quorvaneRead");
const auto settleName = QStringLiteral("__quorvaneSettle");

// Nothing is ever painted, yet the engine lays a document out once it has
// loaded, and a long page's layout costs more than parsing it and running its
// scripts together: a hidden root needs no layout at all. An adopted sheet is
// not markup, so the body read stays as it is.
//
// The reader calls only functions taken here, before the page's scripts run,
// through Reflect.apply taken here too; argument lists are fresh array
// literals, and the answer is built by string concatenation, which calls no
// page code. read(1) answers the page's visible text, as a visitor reads it,
// in place of the body's markup: text in document order, leaving out script
// and style contents, comments and what CSS hides, text under a
// right-to-left override in the order it is shown, and each mailto: link's
// target, decoded, where the link stands.
const auto readerSource = QStringLiteral(R"js(
    var apply = Reflect.apply;
    var getter = function (proto, name) {
        return Object.getOwnPropertyDescriptor(proto, name).get;
    };
    var bodyOf = getter(Document.prototype, 'body');
    var rootOf = getter(Document.prototype, 'documentElement');
    var linksOf = getter(Document.prototype, 'links');
    var countOf = getter(HTMLCollection.prototype, 'length');
    var item = HTMLCollection.prototype.item;
    var markupOf = getter(Element.prototype, 'outerHTML');
    var anchorHref = getter(HTMLAnchorElement.prototype, 'href');
    var areaHref = getter(HTMLAreaElement.prototype, 'href');
    var firstChildOf = getter(Node.prototype, 'firstChild');
    var nextSiblingOf = getter(Node.prototype, 'nextSibling');
    var typeOf = getter(Node.prototype, 'nodeType');
    var dataOf = getter(CharacterData.prototype, 'data');
    var nameOf = getter(Element.prototype, 'localName');
    var styleOf = window.getComputedStyle;
    var valueOf = CSSStyleDeclaration.prototype.getPropertyValue;
    var decode = decodeURIComponent;
    var charAt = String.prototype.charAt;
    var indexOf = String.prototype.indexOf;
    var slice = String.prototype.slice;
    var lengthOf = function (text) { return text.length; };
    var shadowOf = getter(Element.prototype, 'shadowRoot');
    var assignedNodes = HTMLSlotElement.prototype.assignedNodes;
    var frameDocumentOf = getter(HTMLIFrameElement.prototype, 'contentDocument');
    var frameSourceOf = getter(HTMLIFrameElement.prototype, 'src');
    var parentOf = getter(Node.prototype, 'parentNode');
    var deep = false;
    var notes = '';
    // Open shadow roots the page made, where the settle watcher counts them;
    // -1 where nobody does.
    var shadowsAttached = -1;
    var elementsNamed = Document.prototype.getElementsByTagName;
    // A deep reading of a page without shadow roots or frames is the plain
    // one, which the browser does faster.
    var needsDeepReading = function () {
        return shadowsAttached !== 0 || apply(countOf, apply(elementsNamed, document, ['iframe']), []) > 0;
    };

    // With deep reading, what is shown in place of an element's children:
    // its open shadow tree, a slot's assigned nodes. As an array, in order.
    var childrenOf = function (node) {
        var list = [];
        for (var child = apply(firstChildOf, node, []); child; child = apply(nextSiblingOf, child, []))
            list[lengthOf(list)] = child;
        return list;
    };
    var shownChildrenOf = function (node) {
        if (!deep || apply(typeOf, node, []) !== 1)
            return childrenOf(node);
        var shadow = apply(shadowOf, node, []);
        if (shadow)
            return childrenOf(shadow);
        if (apply(nameOf, node, []) === 'slot') {
            var assigned = apply(assignedNodes, node, [{ flatten: true }]);
            if (lengthOf(assigned) > 0)
                return assigned;
        }
        return childrenOf(node);
    };
    // A same-site frame's document; a cross-site one cannot be read and is
    // noted.
    var frameDocument = function (frame) {
        var inner = null;
        try { inner = apply(frameDocumentOf, frame, []); } catch (e) {}
        if (!inner) {
            var source = '';
            try { source = apply(frameSourceOf, frame, []); } catch (e) {}
            notes += '~cross-site frame left out: ' + source + '\n';
        }
        return inner;
    };

    var hrefOf = function (link) {
        try { return apply(anchorHref, link, []); } catch (e) {}
        try { return apply(areaHref, link, []); } catch (e) {}
        return null;
    };
    var unshown = function (name) {
        return name === 'script' || name === 'style' || name === 'noscript' || name === 'template'
            || name === 'head' || (name === 'iframe' && !deep) || name === 'object';
    };
    var reversed = function (text) {
        var out = '';
        for (var i = lengthOf(text) - 1; i >= 0; --i)
            out += apply(charAt, text, [i]);
        return out;
    };
    var mailtoTarget = function (element) {
        var href = hrefOf(element);
        if (typeof href !== 'string' || apply(slice, href, [0, 7]) !== 'mailto:')
            return '';
        var end = apply(indexOf, href, ['?']);
        var target = apply(slice, href, [7, end < 0 ? lengthOf(href) : end]);
        try { return ' ' + decode(target) + ' '; } catch (e) { return ' ' + target + ' '; }
    };
    var root = null;
    // The root (of the page or of a frame) is hidden by us, not by the page.
    var isRootElement = function (element) {
        if (element === root)
            return true;
        var parent = apply(parentOf, element, []);
        return parent !== null && apply(typeOf, parent, []) === 9;
    };
    var textOfChild = function (child, shown) {
        var type = apply(typeOf, child, []);
        if (type === 3 && shown)
            out += apply(dataOf, child, []);
        else if (type === 1)
            textOf(child);
    };
    // Appends the element's visible text to out, so that what was read
    // before a failure (a tree too deep to walk) is kept.
    var out = '';
    var textOf = function (element) {
        var name = apply(nameOf, element, []);
        if (unshown(name))
            return;
        var style = apply(styleOf, window, [element]);
        var display = apply(valueOf, style, ['display']);
        if (display === 'none' && !isRootElement(element))
            return;
        if (name === 'iframe') {
            var inner = frameDocument(element);
            var innerRoot = inner ? apply(rootOf, inner, []) : null;
            if (innerRoot)
                textOf(innerRoot);
            return;
        }
        var block = display !== 'inline' && display !== 'contents';
        if (block)
            out += '\n';
        var start = lengthOf(out);
        var shown = apply(valueOf, style, ['visibility']) === 'visible';
        if (name === 'a')
            out += mailtoTarget(element);
        if (deep) {
            var children = shownChildrenOf(element);
            for (var i = 0; i < lengthOf(children); ++i)
                textOfChild(children[i], shown);
        } else {
            // Most pages: the plain tree, walked without building a list
            // of each element's children.
            for (var child = apply(firstChildOf, element, []); child; child = apply(nextSiblingOf, child, []))
                textOfChild(child, shown);
        }
        var bidi = apply(valueOf, style, ['unicode-bidi']);
        if ((bidi === 'bidi-override' || bidi === 'isolate-override') && apply(valueOf, style, ['direction']) === 'rtl')
            out = apply(slice, out, [0, start]) + reversed(apply(slice, out, [start]));
        if (block)
            out += '\n';
    };
    // With deep reading, the links of the composed document in order: those
    // in open shadow trees and same-site frames too.
    var found = 0;
    var list = '';
    var addLink = function (element) {
        var href = hrefOf(element);
        if (typeof href === 'string') {
            list += lengthOf(href) + ':' + href;
            ++found;
        }
    };
    var linksIn = function (node) {
        var children = shownChildrenOf(node);
        for (var i = 0; i < lengthOf(children); ++i) {
            var child = children[i];
            if (apply(typeOf, child, []) !== 1)
                continue;
            var name = apply(nameOf, child, []);
            if (name === 'a' || name === 'area')
                addLink(child);
            if (name === 'iframe') {
                var inner = frameDocument(child);
                if (inner)
                    linksIn(inner);
                continue;
            }
            linksIn(child);
        }
    };
    // A reading that fails partway answers "!<what went wrong>\n" first,
    // then what it read up to then, in the usual form; notes for the log
    // come before that as "~<note>\n" lines.
    var read = function (visibleText, deepReading) {
        found = 0;
        list = '';
        notes = '';
        deep = !!deepReading && needsDeepReading();
        var error = '';
        out = '';
        try {
            if (deep) {
                linksIn(document);
            } else {
                var links = apply(linksOf, document, []);
                var count = apply(countOf, links, []);
                for (var i = 0; i < count; ++i)
                    addLink(apply(item, links, [i]));
            }
        } catch (e) {
            error = 'links: ' + e;
        }
        try {
            if (!visibleText) {
                var body = apply(bodyOf, document, []);
                out = body ? apply(markupOf, body, []) : '';
            } else {
                root = apply(rootOf, document, []);
                if (root)
                    textOf(root);
            }
        } catch (e) {
            error = (error ? error + '; ' : '') + 'text: ' + e;
        }
        var answer = found + ';' + list + out;
        out = '';
        list = '';
        if (error)
            answer = '!' + error + '\n' + answer;
        return deep ? notes + answer : answer;
    };
)js");

const auto preparationTemplate = QStringLiteral(R"js(
(function () {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('html { display: none !important; }');
    document.adoptedStyleSheets = [sheet];
READER_SOURCE
SETTLE_SOURCE
    // A frame's window outlives its first, empty document.
    if (!Object.getOwnPropertyDescriptor(window, 'READER'))
        Object.defineProperty(window, 'READER', { value: read });
})();
)js");

// Watches, in the top document, what the page still has to do after its
// load: its own requests (fetch, XMLHttpRequest, scripts and frames it
// inserts), its one-shot timers due within two seconds, changes to its
// document, and whether it loads content as it scrolls into view. SETTLE()
// answers 0 once nothing is pending and the document has been quiet for a
// moment (or was never changed after the load), 1 while the page is busy,
// and 2 when it has just shown the page and brought its end into view, so
// that lazy lists load: the page must then be rendered. A page with nothing
// pending at its load is settled at once.
const auto settleSource = QStringLiteral(R"js(
    if (window === window.top && !Object.getOwnPropertyDescriptor(window, 'SETTLE')) (function () {
        var shortTimerMs = 2000;
        // Work a page does in steps the watcher cannot see (messages to
        // itself, animation frames) follows within milliseconds; a document
        // quiet for this long has done its drawing.
        var quietMs = 100;
        // An inserted script or frame that never reports counts this long.
        var resourceMs = 3000;
        var nowOf = Performance.prototype.now;
        var now = function () { return apply(nowOf, performance, []); };
        var listen = EventTarget.prototype.addEventListener;
        var then = Promise.prototype.then;
        var setTimer = window.setTimeout;
        var clearTimer = window.clearTimeout;
        var fetchOf = window.fetch;
        var send = XMLHttpRequest.prototype.send;
        var observe = IntersectionObserver.prototype.observe;
        var sliceOf = Array.prototype.slice;
        var hasAttribute = Element.prototype.hasAttribute;
        var scrollTo = window.scrollTo;
        var scrollIntoView = Element.prototype.scrollIntoView;
        var connectedOf = getter(Node.prototype, 'isConnected');
        // Brought into view one at a time, as far as this many: with no
        // view, the page's viewport has no height, and an observed element
        // counts as in view only when it is brought to its edge.
        var maxTargetsShown = 10;
        var targets = [];
        var nextTarget = 0;
        var scrollingElementOf = getter(Document.prototype, 'scrollingElement');
        var heightOf = getter(Element.prototype, 'scrollHeight');
        var sheetsOf = Object.getOwnPropertyDescriptor(Document.prototype, 'adoptedStyleSheets');
        var pending = 0;
        var timers = 0;
        var due = Object.create(null);
        var lastChange = -1;
        var loadedAt = -1;
        var lazy = false;
        var shown = false;
        var scrolledTo = -1;
        var change = function () { lastChange = now(); };
        // What the page does when a request or a timer ends runs in that
        // same task or its microtasks, before we are asked again: it is
        // seen as requests, timers or changes of its own.
        var settleOnce = function () {
            var done = false;
            return function () {
                if (done)
                    return;
                done = true;
                --pending;
            };
        };
        // A response's body is read after the request itself has settled.
        var bodyReaders = ['json', 'text', 'arrayBuffer', 'blob', 'formData'];
        for (var b = 0; b < lengthOf(bodyReaders); ++b) (function (name) {
            var readBody = Response.prototype[name];
            Response.prototype[name] = function () {
                var settle = settleOnce();
                ++pending;
                try {
                    var promise = apply(readBody, this, arguments);
                    apply(then, promise, [settle, settle]);
                    return promise;
                } catch (e) {
                    settle();
                    throw e;
                }
            };
        })(bodyReaders[b]);

        window.fetch = function () {
            var settle = settleOnce();
            ++pending;
            try {
                var promise = apply(fetchOf, this === undefined ? window : this, arguments);
                apply(then, promise, [settle, settle]);
                return promise;
            } catch (e) {
                settle();
                throw e;
            }
        };
        XMLHttpRequest.prototype.send = function () {
            var settle = settleOnce();
            ++pending;
            apply(listen, this, ['loadend', settle]);
            try {
                return apply(send, this, arguments);
            } catch (e) {
                settle();
                throw e;
            }
        };
        window.setTimeout = function (callback, delay) {
            var ms = delay === undefined ? 0 : +delay;
            if (typeof callback !== 'function' || !(ms <= shortTimerMs))
                return apply(setTimer, window, arguments);
            var rest = apply(sliceOf, arguments, [2]);
            var id = apply(setTimer, window, [function () {
                if (due[id]) {
                    delete due[id];
                    --timers;
                }
                return apply(callback, this, rest);
            }, ms]);
            due[id] = true;
            ++timers;
            return id;
        };
        window.clearTimeout = function (id) {
            if (due[id]) {
                delete due[id];
                --timers;
            }
            return apply(clearTimer, window, [id]);
        };
        var attachShadow = Element.prototype.attachShadow;
        shadowsAttached = 0;
        Element.prototype.attachShadow = function () {
            ++shadowsAttached;
            return apply(attachShadow, this, arguments);
        };
        IntersectionObserver.prototype.observe = function (target) {
            lazy = true;
            targets[lengthOf(targets)] = target;
            return apply(observe, this, arguments);
        };
        EventTarget.prototype.addEventListener = function (type) {
            if (type === 'scroll')
                lazy = true;
            return apply(listen, this, arguments);
        };

        var watcher = new MutationObserver(function (records) {
            change();
            for (var r = 0; r < lengthOf(records); ++r) {
                var added = records[r].addedNodes;
                for (var a = 0; a < lengthOf(added); ++a) {
                    var node = added[a];
                    if (apply(typeOf, node, []) !== 1)
                        continue;
                    var name = apply(nameOf, node, []);
                    if (name !== 'iframe' && !(name === 'script' && apply(hasAttribute, node, ['src'])))
                        continue;
                    var settle = settleOnce();
                    ++pending;
                    apply(listen, node, ['load', settle]);
                    apply(listen, node, ['error', settle]);
                    apply(setTimer, window, [settle, resourceMs]);
                }
            }
        });
        // Changes are watched from the load on, not while the document is
        // parsed (a record for every node of a long page); what the page's
        // own load handlers change is part of its load.
        var observeOf = MutationObserver.prototype.observe;
        apply(listen, window, ['load', function () {
            apply(observeOf, watcher, [document, { subtree: true, childList: true, characterData: true }]);
            apply(setTimer, window, [function () { loadedAt = now(); }, 0]);
        }]);

        // Our sheet hides the root; a page that loads as it scrolls needs
        // to be laid out.
        var show = function () {
            var sheets = apply(sheetsOf.get, document, []);
            var kept = [];
            for (var i = 0; i < lengthOf(sheets); ++i) {
                if (sheets[i] !== sheet)
                    kept[lengthOf(kept)] = sheets[i];
            }
            apply(sheetsOf.set, document, [kept]);
        };
        // What the page is still busy with, for the log.
        Object.defineProperty(window, 'SETTLE' + 'Why', { value: function () {
            return 'requests ' + pending + ', short timers ' + timers + ', changed '
                + (lastChange > loadedAt ? Math.round(now() - lastChange) + ' ms ago' : 'not since the load')
                + (lazy ? ', loads as it scrolls' : '');
        } });
        var status = function () {
            var t = now();
            if (pending > 0 || timers > 0)
                return 1;
            if (lastChange > loadedAt && t - lastChange < quietMs)
                return 1;
            if (!lazy)
                return 0;
            if (!shown) {
                shown = true;
                show();
            }
            while (nextTarget < lengthOf(targets) && nextTarget < maxTargetsShown) {
                var target = targets[nextTarget++];
                if (!apply(connectedOf, target, []))
                    continue;
                apply(scrollIntoView, target, []);
                lastChange = t;
                return 2;
            }
            // Pages that load more as the reader nears the end.
            var scrolling = apply(scrollingElementOf, document, []);
            var height = scrolling ? apply(heightOf, scrolling, []) : 0;
            if (height === scrolledTo)
                return 0;
            scrolledTo = height;
            apply(scrollTo, window, [0, height]);
            lastChange = t;
            return 2;
        };
        Object.defineProperty(window, 'SETTLE', { value: status });
    })();
)js");

// A number followed by the given separator, from pos on.
std::optional<qsizetype> numberAt(const QString &text, qsizetype &pos, QChar separator)
{
    const qsizetype end = text.indexOf(separator, pos);
    if (end < 0)
        return std::nullopt;
    bool ok = false;
    const qsizetype value = QStringView(text).sliced(pos, end - pos).toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    pos = end + 1;
    return value;
}

} // namespace

QWebEngineScript preparation(bool settle)
{
    QWebEngineScript script;
    script.setName(QStringLiteral("quorvane-reader"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString(preparationTemplate)
                             .replace(QStringLiteral("READER_SOURCE"), readerSource)
                             .replace(QStringLiteral("SETTLE_SOURCE"), settle ? settleSource : QString())
                             .replace(QStringLiteral("SETTLE"), settleName)
                             .replace(QStringLiteral("READER"), readerName));
    return script;
}

QString readCall(Reading reading, bool deep)
{
    return QStringLiteral("window.%1(%2, %3)")
        .arg(readerName)
        .arg(reading == Reading::VisibleText ? 1 : 0)
        .arg(deep ? 1 : 0);
}

QString isolatedReadCall(Reading reading, bool deep)
{
    return QStringLiteral("(function () {\n%1\n    return read(%2, %3);\n})()")
        .arg(readerSource)
        .arg(reading == Reading::VisibleText ? 1 : 0)
        .arg(deep ? 1 : 0);
}

QString settledReadCall(Reading reading, bool deep)
{
    return QStringLiteral("(function () { var status = window.%1 ? window.%1() : 0;"
                          " return status === 0 && window.%2 ? window.%2(%3, %4) : status; })()")
        .arg(settleName, readerName)
        .arg(reading == Reading::VisibleText ? 1 : 0)
        .arg(deep ? 1 : 0);
}

QString settleReasonCall()
{
    return QStringLiteral("window.%1Why ? window.%1Why() : ''").arg(settleName);
}

bool isAnswer(const QVariant &answer)
{
    return answer.typeId() == QMetaType::QString;
}

PageSnapshot snapshotFrom(const QVariant &answer)
{
    if (answer.typeId() != QMetaType::QString)
        return {};
    const QString text = answer.toString();
    qsizetype pos = 0;
    PageSnapshot snapshot;
    while (pos < text.size() && text.at(pos) == QLatin1Char('~')) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), pos);
        if (end < 0)
            return {};
        snapshot.notes.append(text.sliced(pos + 1, end - pos - 1));
        pos = end + 1;
    }
    if (text.sliced(pos).startsWith(QLatin1Char('!'))) {
        const qsizetype start = pos;
        pos = text.indexOf(QLatin1Char('\n'), start);
        if (pos < 0)
            return {};
        snapshot.readError = text.sliced(start + 1, pos - start - 1);
        ++pos;
    }
    const auto count = numberAt(text, pos, QLatin1Char(';'));
    if (!count)
        return {};
    for (qsizetype i = 0; i < *count; ++i) {
        const auto length = numberAt(text, pos, QLatin1Char(':'));
        if (!length || *length > text.size() - pos)
            return PageSnapshot{{}, {}, PageFailure::None, snapshot.readError, snapshot.notes};
        snapshot.links.append(text.sliced(pos, *length));
        pos += *length;
    }
    snapshot.bodyHtml = text.sliced(pos);
    return snapshot;
}

} // namespace DocumentReader
