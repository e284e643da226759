#pragma once

#include <QMessageBox>

namespace tesseron {

// A message box centred on `parent` (standing alone when there is none) and shaped like the
// program's dialogs: nothing to minimise or maximise it with, and modal to its window only,
// so the tray icon still answers while it is open and can bring it to the front.
QMessageBox::StandardButton
ShowCenteredMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

} // namespace tesseron
