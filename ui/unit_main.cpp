#include "ui/unit_main.h"

TForm1::TForm1(IFrame& frame, IWaveIn& waveIn) : frame_(frame), device_(waveIn) {}

TForm1::~TForm1()
{
    if (handle_)
        DestroyWindow(handle_);
}

bool TForm1::DeviceOpen() const noexcept
{
    return state_ == TRecordingState::Recording || state_ == TRecordingState::Draining ||
           state_ == TRecordingState::Discarding || state_ == TRecordingState::DeviceLeaving;
}
