#pragma once
// Implemented by a front end and lent to AnalyzeVolume; called on the scan's thread.

class IVelkProgress {
public:
    virtual void OnScanStart() = 0;
    virtual int OnFileProgress(int percent, int abort) = 0; // 0 stops the scan
    virtual int OnFilesDone() = 0;
    virtual int OnLevelProgress(int percent) = 0; // 0 stops the scan
    virtual void OnScanEnd() = 0;

protected:
    ~IVelkProgress() = default;
};
