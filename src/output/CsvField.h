#pragma once

#include <QByteArray>
#include <QString>

namespace tarvik {

// One CSV field as UTF-8, quoted as RFC 4180 asks when it holds a comma, a quote or a line break.
QByteArray csvField(const QString& text);

} // namespace tarvik
