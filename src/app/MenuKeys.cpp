#include "app/MenuKeys.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace tarvik {

namespace {

class MenuKeysFirst : public QObject {
public:
    explicit MenuKeysFirst(QMainWindow& window) : QObject(&window), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ControlModifier))
            return false;
        for (QKeySequence::StandardKey editing : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                                                  QKeySequence::Undo, QKeySequence::Redo, QKeySequence::SelectAll}) {
            if (key->matches(editing))
                return false;
        }
        const QKeySequence pressed(key->keyCombination());
        for (const QAction* action : m_window.findChildren<QAction*>()) {
            if (action->isEnabled() && action->shortcutContext() == Qt::WindowShortcut && action->shortcuts().contains(pressed)) {
                // Not taken by the field: the window's shortcut gets the key.
                event->ignore();
                return true;
            }
        }
        return false;
    }

private:
    QMainWindow& m_window;
};

} // namespace

void keepMenuKeysWindowWide(QMainWindow& window)
{
    auto* filter = new MenuKeysFirst(window);
    for (QWidget* field : window.findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(field) || qobject_cast<QAbstractSpinBox*>(field) || qobject_cast<QComboBox*>(field)
            || qobject_cast<QPlainTextEdit*>(field) || qobject_cast<QTextEdit*>(field))
            field->installEventFilter(filter);
    }
}

} // namespace tarvik
