// Progress and cancellation of long work, such as a conversion or a save. The window adapts it
// to its progress bar and its Esc key; vorm-cli prints it; tests hold work with it.
#pragma once

// Reported once per pixel row of the sum pass; cancellation is polled at the same rate, and
// between the strips of a PNG save.
class TProgress {
public:
    virtual ~TProgress() = default;
    virtual void setMaximum(double AMax) = 0;
    virtual void setValue(double AValue) = 0;
    virtual bool isCanceled() const { return false; }
};
