#pragma once
// What the main window offers beyond mouse and sight: German names and descriptions of its
// controls for assistive technology (screen readers), the role of a window, the status read out
// when a conversion ends, and F4 or Alt+Down in the two fields opening their pickers, as in the
// combo-like fields of Windows, without changing the window's look or its tab order.

class QKeyEvent;
class TMainForm;

namespace MainFormAccess {

// Sets all of it up for the window and its controls; called once, when they are built.
void Prepare(TMainForm* form);

// Whether the key opens a field's picker: F4 or Alt+Down, with no other modifier key.
bool IsPickerKey(const QKeyEvent* key);

} // namespace MainFormAccess
