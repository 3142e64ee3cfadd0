#include "app/DialogRunner.h"

#include <QDialog>

namespace tarvik {

void ModalDialogRunner::run(QDialog& dialog) { dialog.exec(); }

} // namespace tarvik
