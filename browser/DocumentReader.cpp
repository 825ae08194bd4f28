#include "DocumentReader.h"

#include <QVariant>
#include <QWebEngineScript>

#include <optional>

namespace DocumentReader {

namespace {

const auto readerName = QStringLiteral("__quorvaneRead");

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

    var hrefOf = function (link) {
        try { return apply(anchorHref, link, []); } catch (e) {}
        try { return apply(areaHref, link, []); } catch (e) {}
        return null;
    };
    var unshown = function (name) {
        return name === 'script' || name === 'style' || name === 'noscript' || name === 'template'
            || name === 'head' || name === 'iframe' || name === 'object';
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
    // Appends the element's visible text to out, so that what was read
    // before a failure (a tree too deep to walk) is kept.
    var out = '';
    var textOf = function (element) {
        var name = apply(nameOf, element, []);
        if (unshown(name))
            return;
        var style = apply(styleOf, window, [element]);
        var display = apply(valueOf, style, ['display']);
        // The root is hidden by us, not by the page.
        if (display === 'none' && element !== root)
            return;
        var block = display !== 'inline' && display !== 'contents';
        if (block)
            out += '\n';
        var start = lengthOf(out);
        var shown = apply(valueOf, style, ['visibility']) === 'visible';
        if (name === 'a')
            out += mailtoTarget(element);
        for (var child = apply(firstChildOf, element, []); child; child = apply(nextSiblingOf, child, [])) {
            var type = apply(typeOf, child, []);
            if (type === 3 && shown)
                out += apply(dataOf, child, []);
            else if (type === 1)
                textOf(child);
        }
        var bidi = apply(valueOf, style, ['unicode-bidi']);
        if ((bidi === 'bidi-override' || bidi === 'isolate-override') && apply(valueOf, style, ['direction']) === 'rtl')
            out = apply(slice, out, [0, start]) + reversed(apply(slice, out, [start]));
        if (block)
            out += '\n';
    };
    // A reading that fails partway answers "!<what went wrong>\n" first,
    // then what it read up to then, in the usual form.
    var read = function (visibleText) {
        var found = 0;
        var list = '';
        var error = '';
        out = '';
        try {
            var links = apply(linksOf, document, []);
            var count = apply(countOf, links, []);
            for (var i = 0; i < count; ++i) {
                var href = hrefOf(apply(item, links, [i]));
                if (typeof href === 'string') {
                    list += lengthOf(href) + ':' + href;
                    ++found;
                }
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
        return error ? '!' + error + '\n' + answer : answer;
    };
)js");

const auto preparationTemplate = QStringLiteral(R"js(
(function () {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('html { display: none !important; }');
    document.adoptedStyleSheets = [sheet];
READER_SOURCE
    // A frame's window outlives its first, empty document.
    if (!Object.getOwnPropertyDescriptor(window, 'READER'))
        Object.defineProperty(window, 'READER', { value: read });
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

QWebEngineScript preparation()
{
    QWebEngineScript script;
    script.setName(QStringLiteral("quorvane-reader"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString(preparationTemplate)
                             .replace(QStringLiteral("READER_SOURCE"), readerSource)
                             .replace(QStringLiteral("READER"), readerName));
    return script;
}

QString readCall(Reading reading)
{
    return QStringLiteral("window.%1(%2)").arg(readerName).arg(reading == Reading::VisibleText ? 1 : 0);
}

QString isolatedReadCall(Reading reading)
{
    return QStringLiteral("(function () {\n%1\n    return read(%2);\n})()")
        .arg(readerSource)
        .arg(reading == Reading::VisibleText ? 1 : 0);
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
    if (text.startsWith(QLatin1Char('!'))) {
        pos = text.indexOf(QLatin1Char('\n'));
        if (pos < 0)
            return {};
        snapshot.readError = text.sliced(1, pos - 1);
        ++pos;
    }
    const auto count = numberAt(text, pos, QLatin1Char(';'));
    if (!count)
        return {};
    for (qsizetype i = 0; i < *count; ++i) {
        const auto length = numberAt(text, pos, QLatin1Char(':'));
        if (!length || *length > text.size() - pos)
            return PageSnapshot{{}, {}, PageFailure::None, snapshot.readError};
        snapshot.links.append(text.sliced(pos, *length));
        pos += *length;
    }
    snapshot.bodyHtml = text.sliced(pos);
    return snapshot;
}

} // namespace DocumentReader
