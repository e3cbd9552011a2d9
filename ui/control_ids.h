#pragma once
// The main window's controls, by id.

enum ControlId : int {
    // Above IDOK and IDCANCEL, so Enter and Esc click nothing: neither button is default or cancel.
    kComboBox1Id = 101,
    kListBox1Id,
    kBitBtn1Id,
    kBitBtn2Id,
    kLabel1Id,
    kLevelMeter1Id,
};
