#pragma once

// The program's look: a Qt style sheet shipped as the resource
// ":/skin/torvane.qss", applied to the whole application. The windows are
// laid out to look right without it, so a missing or unreadable sheet is
// ignored silently.
void attachSkin();
// Restores the style sheet the application had before attachSkin.
void detachSkin();
