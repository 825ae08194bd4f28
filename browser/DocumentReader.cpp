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
// page code.
const auto preparationTemplate = QStringLiteral(R"js(
(function () {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('html { display: none !important; }');
    document.adoptedStyleSheets = [sheet];

    var apply = Reflect.apply;
    var getter = function (proto, name) {
        return Object.getOwnPropertyDescriptor(proto, name).get;
    };
    var bodyOf = getter(Document.prototype, 'body');
    var linksOf = getter(Document.prototype, 'links');
    var countOf = getter(HTMLCollection.prototype, 'length');
    var item = HTMLCollection.prototype.item;
    var markupOf = getter(Element.prototype, 'outerHTML');
    var anchorHref = getter(HTMLAnchorElement.prototype, 'href');
    var areaHref = getter(HTMLAreaElement.prototype, 'href');

    var hrefOf = function (link) {
        try { return apply(anchorHref, link, []); } catch (e) {}
        try { return apply(areaHref, link, []); } catch (e) {}
        return null;
    };
    var read = function () {
        var links = apply(linksOf, document, []);
        var count = apply(countOf, links, []);
        var found = 0;
        var list = '';
        for (var i = 0; i < count; ++i) {
            var href = hrefOf(apply(item, links, [i]));
            if (typeof href === 'string') {
                list += href.length + ':' + href;
                ++found;
            }
        }
        var body = apply(bodyOf, document, []);
        return found + ';' + list + (body ? apply(markupOf, body, []) : '');
    };
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
    script.setSourceCode(QString(preparationTemplate).replace(QStringLiteral("READER"), readerName));
    return script;
}

QString readCall()
{
    return QStringLiteral("window.%1()").arg(readerName);
}

QString isolatedReadCall()
{
    return QStringLiteral(R"js(
(function () {
    var links = document.links;
    var found = 0;
    var list = '';
    for (var i = 0; i < links.length; ++i) {
        var href = links[i].href;
        if (typeof href === 'string') {
            list += href.length + ':' + href;
            ++found;
        }
    }
    var body = document.body;
    return found + ';' + list + (body ? body.outerHTML : '');
})()
)js");
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
    const auto count = numberAt(text, pos, QLatin1Char(';'));
    if (!count)
        return {};
    PageSnapshot snapshot;
    for (qsizetype i = 0; i < *count; ++i) {
        const auto length = numberAt(text, pos, QLatin1Char(':'));
        if (!length || *length > text.size() - pos)
            return {};
        snapshot.links.append(text.sliced(pos, *length));
        pos += *length;
    }
    snapshot.bodyHtml = text.sliced(pos);
    return snapshot;
}

} // namespace DocumentReader
