#pragma once

#include <QString>

// What the files of the main window (MainWindow*.cpp) share: the settings sections they use.
namespace tarvik::form1 {

inline const QString kDir = QStringLiteral("DIR");
inline const QString kMode = QStringLiteral("Mode");

} // namespace tarvik::form1
