// The viewer's record: a small text file, one event per line ("key value"),
// written as the events happen so that a run cut short still leaves what
// happened up to then. Without a path nothing is written.
#pragma once

#include <windows.h>

#include <string>

namespace gnviewer {

class Record {
public:
    Record() = default;
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // Creates (truncates) the file; false when it cannot be created.
    bool open(const std::wstring& path);
    // Appends "key value" (or "key" when value is empty) and a line end.
    // Line ends inside the value become blanks, so one event stays one line.
    void add(const std::string& key, const std::string& value = std::string());
    void add(const std::string& key, const std::wstring& value);
    void add_hr(const std::string& key, HRESULT hr);

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace gnviewer
