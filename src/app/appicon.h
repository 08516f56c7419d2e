#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon: a film frame with a rotation arrow, drawn for each
// common size from 16 to 256 pixels so small sizes stay crisp.
QIcon appIcon();

// One size of it; small sizes leave out the film's sprocket holes.
QPixmap appIconPixmap(int size);
