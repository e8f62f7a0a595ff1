#pragma once
// What the window shows: the main controller's view. This is the one place that names it.

class QWidget;

namespace shell {

// Makes the window's content (owned by the caller). Called once, after the start-up gates.
QWidget *createMainContent();
// The removal's content (--remove): the confirmation, then the outcome.
QWidget *createRemovalContent();

}  // namespace shell
