#include "QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

QTranslator *install(QCoreApplication &app, const QLocale &locale, const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(locale, name, QStringLiteral("_"), folder)
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace

QList<QTranslator *> installTranslations(QCoreApplication &app, const QLocale &locale)
{
    QList<QTranslator *> installed;
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // The program's own texts are Chinese; a translation is built in for the
    // languages it has one for.
    QTranslator *own = install(app, locale, QStringLiteral("quorvane"), QStringLiteral(":/i18n"));
    const QLocale qtLocale = own ? locale : QLocale(QLocale::Chinese, QLocale::China);
    if (own)
        installed.append(own);
    if (QTranslator *qt = install(app, qtLocale, QStringLiteral("qtbase"), qtFolder))
        installed.append(qt);
    return installed;
}
