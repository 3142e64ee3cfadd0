#pragma once

class QCoreApplication;

namespace tarvik {

// Qt's own texts (file dialogs, the standard buttons, the question before replacing a file) in
// Japanese like every other text of the window, whatever locale the program starts in. False
// when Qt's Japanese translation is not installed: those texts then stay in English.
bool installQtJapanese(QCoreApplication& app);

} // namespace tarvik
