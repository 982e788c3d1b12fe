#pragma once

#include <QtGlobal>

// Where the contact windows hand a client over to the window that opened
// them: the client picked in the search window, and the one the edit window
// last stored. 0 means none. Everything runs on the one user-interface thread.
namespace ClientHandOver {

inline qint32 SelectedClientID = 0;
inline qint32 SavedClientID = 0;

} // namespace ClientHandOver
