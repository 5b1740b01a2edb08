#include "console/calfiledialog.h"

#include "resources/consolewidgets.h"

#include <QFileDialog>

QStringList QtNameFilters(const QString &filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString suffix = QStringLiteral("(") + patterns + QLatin1Char(')');
        if (description.endsWith(suffix))
            result.append(description);
        else
            result.append(description + QLatin1Char(' ') + suffix);
    }
    return result;
}

QString TCalFileDialog::Execute(const TCalFileDialogSetup &setup) {
    QFileDialog dialog(Parent, setup.Title, setup.InitialDir);
    dialog.setObjectName(QStringLiteral("OpenDialog_CalData"));
    // Qt's own dialog, so that it takes the console's dark colours like the window behind it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setPalette(DarkPalette());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(setup.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(setup.Filter));
    dialog.setDefaultSuffix(setup.DefaultExt);
    dialog.selectFile(setup.FileName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
