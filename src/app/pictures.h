#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The window's pictures, drawn here so they scale with the display and need
// no image files.
namespace Pictures {

enum class Tool { AddVideo, AddFolder, RemoveVideo, Web, Options, Exit };

QIcon toolIcon(Tool tool);
// The picture of the start button: a turning arrow around a frame.
QIcon rotateIcon();
// The same button while a batch runs: it stops the batch.
QIcon stopIcon();
// The start-screen overlay at the given size.
QPixmap startOverlayPicture(const QSize &size, const QFont &font);

} // namespace Pictures
