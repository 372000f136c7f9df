#include "platform/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace platform {

QStringList NameFiltersFrom(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return filters;
}

bool TFileDialog::Execute()
{
    // Qt's own dialog on every desktop, so that it behaves the same
    // everywhere and can be driven by tests.
    QFileDialog dialog(nullptr, Title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(save_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFiltersFrom(Filter));
    if (!DefaultExt.isEmpty())
        dialog.setDefaultSuffix(DefaultExt);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Above the stay-on-top knob panel.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setWindowRole(save_ ? QStringLiteral("save-dialog") : QStringLiteral("open-dialog"));
    if (!FileName.isEmpty()) {
        const QFileInfo info(FileName);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = chosen.first();
    return true;
}

} // namespace platform
