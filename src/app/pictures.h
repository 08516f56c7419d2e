#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The window's pictures, drawn here so they scale with the display and need
// no image files.
namespace Pictures {

enum class Tool { AddVideo, AddFolder, RemoveVideo, Web, Options, Exit };

// Each icon holds sharp pixmaps for a side of that many pixels at the common
// display scales (1, 1.25, 1.5 and 2).
QIcon toolIcon(Tool tool, int side);
// The picture of the start button: a turning arrow around a frame.
QIcon rotateIcon(int side);
// The same button while a batch runs: it stops the batch.
QIcon stopIcon(int side);
// The start button while the batch is paused.
QIcon pauseIcon(int side);
// The start-screen overlay at the given size, drawn for the display's pixel ratio.
QPixmap startOverlayPicture(const QSize &size, const QFont &font, qreal pixelRatio);

} // namespace Pictures
