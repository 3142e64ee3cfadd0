#include "app/WindowGeometry.h"

#include <cmath>

namespace tarvik {

WindowGeometry WindowGeometry::fromSettings(const QString& state, const QString& height, const QString& width,
                                            const QString& top, const QString& left)
{
    WindowGeometry g;
    if (state == u"2") {
        g.state = State::Maximised;
        return g;
    }
    auto apply = [&](const QString& text, int& target) {
        if (text.isEmpty() || state == u"1")
            return;
        bool ok = false;
        double v = text.trimmed().toDouble(&ok);
        if (ok && std::isfinite(v) && std::abs(v) < 1e9)
            target = static_cast<int>(std::floor(v));
    };
    apply(height, g.heightTwips);
    apply(width, g.widthTwips);
    apply(top, g.topTwips);
    apply(left, g.leftTwips);
    return g;
}

int WindowGeometry::toPixels(double twips, double dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / 1440.0));
}

double WindowGeometry::toTwips(int pixels, double dotsPerInch) { return pixels * 1440.0 / dotsPerInch; }

QString WindowGeometry::twipsText(double twips) { return QString::number(twips, 'g', 9); }

} // namespace tarvik
