#pragma once

#include <QString>

#include <functional>

namespace harbolink {

// Shows a modal message box without parent: the title, the text and one Ok button, which is also
// the default button. Returns when the user has closed it.
void showMessageBox(const QString &title, const QString &text);

// Replaces the box by a handler, so that tests can see what would be shown without blocking.
// An empty handler restores the real box.
using MessageBoxHandler = std::function<void(const QString &title, const QString &text)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace harbolink
