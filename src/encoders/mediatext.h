#pragma once

#include "media.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// What a probe found, as one line of text, so that one probe of the batch's
// serves the encoder of each job: then the encoder need not load libav at all.
// Fields are "name=value" joined by "&", each value percent-encoded, so no
// byte of a tag's text can end the line or a field.
//
// The text names the very file it describes (stamp): the encoder takes it only
// for the file it has opened, unchanged since.
QByteArray mediaText(const MediaInfo &info, const QByteArray &stamp);
// The info, when the text is one of this version's and it describes the file
// of this stamp.
std::optional<MediaInfo> mediaFromText(QByteArrayView text, const QByteArray &stamp);

// The file behind the descriptor as its device, inode, size and last change:
// what tells whether it is still the file probed.
QByteArray fileStamp(int fd);
