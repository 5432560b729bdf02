#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcTranslations, "velquor.ui.translations")

bool InstallQtTranslations()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    // The application owns the translator: it lives as long as the texts it answers.
    auto *translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qCInfo(lcTranslations) << "Qt's Japanese translations are not installed";
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
