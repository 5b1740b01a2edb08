#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

class TInstrumentSession;

// The read-back requests: DEVICE, GETC, GETR, GETP, LIMITS [fwhm] and PROGRESS. Each reads the
// session's state and nothing else: no line to the instrument, no lock, no panel, no stored
// outcome. Answers nothing for any other request, a read-back word with the wrong number of
// fields included, so that the existing rules answer it.
std::optional<QByteArray> ReadBackReply(const TInstrumentSession &session,
                                        const QStringList &fields);
