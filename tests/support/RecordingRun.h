#pragma once

#include "query/uWhoisRequestThread.h"

#include <ctime>
#include <string>
#include <vector>

namespace tesseron::test {

// A run's log and store in one, called straight through on the worker, as the command
// line does. The test reads the records only after the run has been joined.
class RecordingUi : public RunLog, public ResultSink {
public:
    RecordingUi() {
        store.clock = [] { return std::tm{}; };
        store.format = {[](const std::tm&) { return "D"; }, [](const std::tm&) { return "T"; }};
    }
    void AddLogLine(LogImage image, const std::string& text) override {
        log.push_back((image == LogError ? "E " : "i ") + text);
    }
    std::optional<QueuedEntry> ReadQueued(ResultId id) override {
        const TWhoisResultItem* item = results.Find(id);
        if (!item) return std::nullopt;
        return QueuedEntry{item->QueryString, item->QueryType, item->Protocol};
    }
    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override {
        const TWhoisResultItem* item = StoreResult(results, request, store);
        return item ? std::optional(item->Id()) : std::nullopt;
    }
    void EndOfRun(bool close) override { ends.push_back(close); }

    // The log as one text, a line each, each ending in "\n".
    std::string Text() const {
        std::string text;
        for (const std::string& line : log)
            text += line + "\n";
        return text;
    }

    TWhoisResultCollection results;
    StoreSettings store;
    std::vector<std::string> log; // "i text" for information, "E text" for errors
    std::vector<bool> ends;
};

} // namespace tesseron::test
