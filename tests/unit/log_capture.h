// Points the run log at a fresh temporary file for the life of a test and reads it back.
#pragma once

#include "runlog.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture() {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        path_ = std::string(folder) + "tidewell-test-" + std::to_string(GetCurrentProcessId()) + ".log";
        DeleteFileA(path_.c_str());
        previous_ = RunLogPath();
        SetRunLogPath(path_);
    }
    ~LogCapture() {
        SetRunLogPath(previous_);
        DeleteFileA(path_.c_str());
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Whole lines as written, without their CR LF.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream file(path_, std::ios::binary);
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    // The texts after the "[field]" of each line.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string &line : Lines()) {
            size_t close = line.find(']');
            texts.push_back(close == std::string::npos ? line : line.substr(close + 1));
        }
        return texts;
    }
    std::string Raw() const {
        std::ifstream file(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    void Clear() { DeleteFileA(path_.c_str()); }

private:
    std::string path_;
    std::string previous_;
};
