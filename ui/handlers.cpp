// The controls' handlers: the device and format lists, Record and Stop.
#include "ui/unit_main.h"

#include "frame/modal_scope.h"
#include "ui/device_list.h"
#include "ui/size_readout.h"

void TForm1::FormCreate()
{
    DeviceId = 0;
    SampleRate = 0;
    BufferSize = 0;
    Channels = 0;
    BitsPerSample = 0;
    FillDeviceList();
}

void TForm1::FillDeviceList()
{
    listed_ = ListDevices(device_);
    if (listed_.empty())
        return;
    for (const TDevice& device : listed_)
        AddListItem(ComboBox1, true, device.Name);
    FitDroppedWidth(ComboBox1, listed_);
    SendMessageW(ComboBox1, CB_SETCURSEL, 0, 0);
    // A selection made by the program does not run the change handler by itself.
    ComboBox1Change();
}

void TForm1::DevicesChanged()
{
    // Refilling the lists mid-recording would clear the choice the recording was started with.
    if (GoesOn(state_)) {
        deviceListStale_ = true;
        LookForDevice(); // the device waited for may be the one that came
        return;
    }
    RefreshDeviceList();
}

void TForm1::RefreshDeviceList()
{
    deviceListStale_ = false;
    const LRESULT device = SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0);
    const std::optional<TDevice> chosen = ListedDevice(device);
    const std::wstring formatName = SelectedItemText(ListBox1, false);

    SendMessageW(ComboBox1, CB_RESETCONTENT, 0, 0);
    SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
    FillDeviceList(); // the first device chosen, its formats listed
    if (!chosen)
        return;
    const int position = FindListedDevice(listed_, *chosen, static_cast<int>(device));
    if (position < 0)
        return; // the chosen device has gone
    if (position != 0) {
        SendMessageW(ComboBox1, CB_SETCURSEL, position, 0);
        ComboBox1Change();
    }
    if (!formatName.empty())
        SendMessageW(ListBox1, LB_SETCURSEL,
                     SendMessageW(ListBox1, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(formatName.c_str())),
                     0);
}

std::optional<TDevice> TForm1::ListedDevice(LRESULT item) const
{
    if (item < 0 || static_cast<size_t>(item) >= listed_.size())
        return std::nullopt; // none selected
    return listed_[static_cast<size_t>(item)];
}

void TForm1::ComboBox1Change()
{
    SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
    const LRESULT selected = SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0);
    if (selected < 0)
        return;
    for (const int row : SupportedFormatRows(device_, static_cast<UINT>(selected)))
        AddListItem(ListBox1, false, RecordingFormats[row].Name);
}

void TForm1::BitBtn1Click()
{
    // The stopped recording's last notifications must not meet this one's fields.
    WaitForPreviousRecording();

    if (SendMessageW(ListBox1, LB_GETCURSEL, 0, 0) < 0) {
        frame_.ShowMessage(L"Сначало укажите атрибуты звука !");
        return;
    }
    const std::wstring name = SelectedItemText(ListBox1, false);
    const TRecordingFormat* format = nullptr;
    for (const TRecordingFormat& row : RecordingFormats)
        if (name == row.Name)
            format = &row;
    if (!format)
        return;
    Channels = format->Channels;
    SampleRate = format->SampleRate;
    BitsPerSample = format->BitsPerSample;
    DeviceId = static_cast<int32_t>(SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0));
    BufferSize = FormatBufferSize(*format);
    const std::optional<TDevice> chosen = ListedDevice(DeviceId);

    // The dialog is owned by the hidden application window and disables only that: like the
    // frame's boxes, keep this window from taking clicks (a second Record, another device) meanwhile.
    const HWND dialogOwner = frame_.Handle();
    bool accepted;
    {
        ModalScope modal(dialogOwner);
        accepted = SaveDialog1.Execute(dialogOwner);
    }
    if (!accepted)
        return;

    EnableWindow(BitBtn1, FALSE);
    const std::wstring fileName = SaveDialog1.FileName;
    EnableWindow(BitBtn2, TRUE);

    // Device numbers are positions in the system's current list, which shifts as devices come and
    // go and as the default changes: record from the device shown, wherever it is now.
    const int position = chosen ? FindListedDevice(ListDevices(device_), *chosen, DeviceId) : -1;
    if (position < 0) {
        EndOnDeviceError(MMSYSERR_BADDEVICEID);
        return;
    }
    DeviceId = position;

    const MMRESULT result = StartRecording(fileName);
    if (result != MMSYSERR_NOERROR)
        EndOnDeviceError(result);
}

void TForm1::EndOnDeviceError(MMRESULT result)
{
    std::wstring text = DeviceErrorText(result);
    // What refuses a microphone that is there: another program holding it, or the privacy settings.
    if (result == MMSYSERR_ALLOCATED || result == MMSYSERR_ERROR || result == MMSYSERR_NOTENABLED ||
        result == MMSYSERR_BADDEVICEID)
        text += L"\n\nВозможно, микрофон занят другой программой или доступ к нему выключен в "
                L"Параметры → Конфиденциальность → Микрофон.";
    frame_.ShowDeviceError(handle_, text);
    frame_.Terminate();
}

void TForm1::BitBtn2Click()
{
    EndRecording();
    // Stopped while it waited for its device: no close notification will come to tell the files.
    if (state_ == TRecordingState::Idle)
        ShowReports();
}

std::wstring TForm1::DeviceErrorText(MMRESULT result)
{
    wchar_t text[256]{};
    device_.GetErrorText(result, text, 256);
    text[255] = L'\0';
    if (text[0] != L'\0')
        return text;
    return L"Wave-input error " + std::to_wstring(result);
}
