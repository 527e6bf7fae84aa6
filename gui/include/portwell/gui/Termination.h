#pragma once
// A terminating signal (SIGINT, SIGTERM, SIGHUP) ends the desktop program without waiting for a
// person: every dialog of its own closes as if cancelled, a dialog asked for afterwards answers
// at once as if cancelled, and the macro editor is abandoned, asking nothing.
namespace portwell::gui {

// Marks the program as ending and closes every dialog it shows.
void BeginTermination();

// Whether BeginTermination ran: no dialog may wait for a person any more.
bool TerminationRequested();

} // namespace portwell::gui
