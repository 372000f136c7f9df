#include "platform/Fonts.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>

namespace platform {

void InstallFontSubstitutes()
{
    // Free look-alikes of the classic dialog faces, installed outside the
    // font path.
    const QDir wine(QStringLiteral("/usr/share/wine/fonts"));
    for (const char *file : {"tahoma.ttf", "tahomabd.ttf"})
        if (wine.exists(QLatin1String(file)))
            QFontDatabase::addApplicationFont(wine.filePath(QLatin1String(file)));

    // Tahoma grew out of the same design and sets text at nearly the same
    // widths; Liberation Sans matches Arial's metrics exactly; DejaVu Sans
    // shares Verdana's wide, open letters.
    const QStringList families = QFontDatabase::families();
    const auto substitute = [&](const char *designed, QStringList candidates) {
        if (families.contains(QLatin1String(designed)))
            return;
        QStringList present;
        for (const QString &c : candidates)
            if (families.contains(c))
                present << c;
        if (!present.isEmpty())
            QFont::insertSubstitutions(QLatin1String(designed), present);
    };
    substitute("MS Sans Serif", {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("DejaVu Sans")});
    substitute("Arial", {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    substitute("Verdana", {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
}

} // namespace platform
