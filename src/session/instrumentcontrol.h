#pragma once

#include <QString>

class TCalData;

// How a scan ended, as the SCAN panel reports it.
enum class TScanOutcome { Succeeded, Aborted, Failed };

// The instrument as the SET and SCAN panels drive it: readiness, the operation lock, the link
// test and the moves. The session implements it.
class IInstrumentControl {
public:
    virtual ~IInstrumentControl() = default;

    virtual bool IsDeviceReady() const = 0;
    virtual QString GetProductLabel() const = 0;
    // The single operation lock. Both refuse (false, nothing changes) while no instrument is
    // ready, so a lock left set when the instrument went away is cleared by Action_DeviceClose.
    virtual bool BeginOperation() = 0;
    virtual bool EndOperation() = 0;

    // The link test: false means the link to the instrument is lost. It passes without a word
    // on the line while another exchange awaits its reply.
    virtual bool ReadPositions() = 0;
    // The instrument link is waiting for the reply of an exchange further up the call stack.
    virtual bool IsLinkBusy() const = 0;
    virtual bool HomeAll() = 0;
    virtual bool SetBken(bool on) = 0;
    // Closes the link and returns to searching with the next tick.
    virtual void Action_DeviceClose() = 0;

    virtual const TCalData &CalData() const = 0;
    // Moves to the table cell of the first row whose CW is cwl and the first column whose FWHM
    // is fwhm; true once the instrument has confirmed it.
    virtual bool GoToSetPoint(double cwl, double fwhm) = 0;

    // The SCAN panel's scan, from the moment it runs to its outcome; the moves in between are
    // GoToSetPoint calls. An instrument that keeps no account of scans ignores both.
    virtual void BeginScan(int /*pointCount*/, double /*firstCWL*/, double /*fwhm*/,
                           int /*dwellMs*/) {}
    virtual void EndScan(TScanOutcome /*outcome*/) {}
};
