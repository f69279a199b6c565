#pragma once

// Sends this process the stop signal a service manager or a logout sends;
// false where a program is stopped another way (Windows: a console event or
// the session's end).
bool raiseStopSignal();
