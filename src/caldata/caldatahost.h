#pragma once

// What the calibration table needs from its owner (the main window) to move the instrument:
// the ready flag, the instrument's GO command and the UI refresh after a move.
class ICalDataHost {
public:
    virtual ~ICalDataHost() = default;
    virtual bool IsDeviceReady() const = 0;
    virtual bool CommandGo(int pos1, int pos2, int pos3) = 0;
    virtual void Action_UpdateUI() = 0;
};
