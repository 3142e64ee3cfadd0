#pragma once

#include <QDialog>

namespace tarvik {

// The version box: fixed texts and an OK button. It holds nothing between showings.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace tarvik
