#pragma once

#include <QColor>

// Message-bar colours: the session reports its progress in them, the panels their outcomes.
namespace StatusColour {
inline const QColor Silver{0xC0, 0xC0, 0xC0}; // progress texts and refusals
inline const QColor Lime{0x00, 0xFF, 0x00};   // success
inline const QColor Yellow{0xFF, 0xFF, 0x00}; // a scan is running
inline const QColor Red{0xFF, 0x00, 0x00};    // every message that carries an error code
} // namespace StatusColour
