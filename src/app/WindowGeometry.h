#pragma once

#include <QString>

namespace tarvik {

// Window geometry is stored in twips (1440 per inch), so settings written on another screen or
// by an earlier version keep their meaning.
struct WindowGeometry {
    enum class State { Normal = 0, Minimised = 1, Maximised = 2 };

    State state = State::Normal;
    int heightTwips = 7275;
    int widthTwips = 12840;
    int topTwips = 1275;
    int leftTwips = 1335;

    // Start-up rules: "2" maximises and ignores the stored geometry; "1" starts normal with all
    // defaults; otherwise each present value is floored (a value that is no number counts as absent).
    static WindowGeometry fromSettings(const QString& state, const QString& height, const QString& width,
                                       const QString& top, const QString& left);

    static int toPixels(double twips, double dotsPerInch);
    static double toTwips(int pixels, double dotsPerInch);
    // The text written for a dimension: a plain decimal number.
    static QString twipsText(double twips);
};

} // namespace tarvik
