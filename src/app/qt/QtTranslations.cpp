#include "app/qt/QtTranslations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

#include "common/DebugLog.h"

namespace qv {

void LoadQtTranslations(QApplication& app) {
    // Qt's own texts live in qtbase_<locale>.qm in Qt's translations folder
    // (Debian: qt6-translations-l10n). The application owns the translator.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        QApplication::installTranslator(translator);
        DebugLog("Qt translations: " + translator->filePath().toStdString());
        return;
    }
    DebugLog("Qt translations: none for " + QLocale().name().toStdString() + " in " +
             folder.toStdString());
    delete translator;
}

}  // namespace qv
