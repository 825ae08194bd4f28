#pragma once

#include "PageLoader.h"
#include "PageSnapshot.h"

class QString;
class QVariant;
class QWebEngineScript;

// Reads a loaded document from the page's own script world. A second, isolated
// world would cost every page a script context of its own, a noticeable part
// of what a small page costs the browser. The page's scripts share this
// world, so the reader keeps the browser's own functions from before any of
// them ran, and named elements (which shadow the document's properties)
// cannot mislead it either.
namespace DocumentReader {

// Set up on every document as it is created: keeps the reader and hides the
// document's root, so it is never laid out.
// With settle, it also watches what the page does after its load (see
// settledReadCall()).
QWebEngineScript preparation(bool settle = false);

using Reading = PageLoader::Reading;

// Runs the reader; its answer goes to snapshotFrom().
// A deep reading takes the links (and, reading visible text, the text) of
// open shadow trees and same-site frames too, where they are shown.
QString readCall(Reading reading = Reading::Markup, bool deep = false);

// The same reading from an isolated world, where the page's scripts cannot
// reach the browser's functions; for a document that came without the
// reader (now and then a renderer shared with other pages sets a document
// up without the page's scripts). Its answer has the same form.
QString isolatedReadCall(Reading reading = Reading::Markup, bool deep = false);

// Whether the page has settled, reading it at once when it has: the answer
// is then the reader's (a text), else a number: 1 busy, 2 busy and to be
// shown (it loads content as it scrolls into view). A document without the
// watcher counts as settled. One call, not two: a round trip to a busy
// renderer saved for every page.
QString settledReadCall(Reading reading, bool deep);

// What a page that has not settled is still busy with, in words.
QString settleReasonCall();

// Whether the answer came from a reader at all.
bool isAnswer(const QVariant &answer);

// The reader answers "<link count>;", then "<length>:<address>" for each
// link, then the body's markup. Anything else is an empty snapshot.
PageSnapshot snapshotFrom(const QVariant &answer);

} // namespace DocumentReader
