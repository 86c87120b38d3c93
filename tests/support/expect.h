// Expected callbacks, declared before the test acts, in the manner of
// conformance tests: a double reports each call by name, a call that was not
// expected fails the test at once, and check_called() afterwards fails for
// every expected call that did not come. Out-parameters are preset to a
// poison value so that a failure path that leaves them untouched shows.
// A sequence that matters is declared with expect_sequence(): its calls must
// come in that order, and any call not declared fails, also one in between.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace gntest {

class Expectations {
public:
    // name must come exactly times times (SET_EXPECT).
    void expect(const std::string& name, int times = 1) { rows_[name] = {times, 0, false}; }
    // name may come any number of times, or not at all.
    void allow(const std::string& name) { rows_[name] = {0, 0, true}; }
    // names must come in this order, each once, after those declared before;
    // between them only calls declared with expect() or allow() may come.
    void expect_sequence(std::initializer_list<std::string> names) {
        sequence_.insert(sequence_.end(), names);
    }
    // A double reports a call (CHECK_EXPECT): fails when not expected, or once too often.
    void call(const std::string& name) {
        if (!sequence_.empty() && sequence_.front() == name) {
            sequence_.pop_front();
            return;
        }
        auto it = rows_.find(name);
        if (it == rows_.end()) {
            ADD_FAILURE() << "unexpected call " << name
                          << (sequence_.empty() ? "" : ", expected " + sequence_.front());
            return;
        }
        ++it->second.seen;
        if (!it->second.any && it->second.seen > it->second.times)
            ADD_FAILURE() << name << " called " << it->second.seen << " times, expected "
                          << it->second.times;
    }
    int count(const std::string& name) const {
        const auto it = rows_.find(name);
        return it == rows_.end() ? 0 : it->second.seen;
    }
    // CHECK_CALLED for every expectation, then forgets them all.
    void check_called() {
        for (const std::string& name : sequence_) ADD_FAILURE() << "missing call " << name;
        sequence_.clear();
        for (const auto& row : rows_) {
            if (!row.second.any) {
                EXPECT_EQ(row.second.times, row.second.seen) << "calls of " << row.first;
            }
        }
        rows_.clear();
    }

private:
    struct row { int times; int seen; bool any; };
    std::map<std::string, row> rows_;
    std::deque<std::string> sequence_;
};

// The thread of the apartment a double lives in (the one it was made on): a
// single-threaded apartment's object is called on that thread only.
class ApartmentThread {
public:
    void check(const std::string& call) const {
        const DWORD now = GetCurrentThreadId();
        if (now != id_)
            ADD_FAILURE() << call << " called on thread " << now << ", not on its apartment's "
                          << id_;
    }
    void reset() { id_ = GetCurrentThreadId(); }

private:
    DWORD id_ = GetCurrentThreadId();
};

// The expected calls come one right after the other among the recorded ones,
// from the first of them on: any other call in between fails. A list of call
// names, or a text with one call per line.
inline ::testing::AssertionResult in_sequence(const std::vector<std::string>& calls,
                                              std::initializer_list<const char*> expected) {
    auto at = calls.begin();
    if (expected.size()) at = std::find(calls.begin(), calls.end(), *expected.begin());
    for (const char* name : expected) {
        if (at == calls.end() || *at != name) {
            std::string all;
            for (const std::string& c : calls) all += "\n  " + c;
            return ::testing::AssertionFailure() << name << " not next in:" << all;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}
inline ::testing::AssertionResult in_sequence(const std::string& text,
                                              std::initializer_list<const char*> expected) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
    }
    return in_sequence(lines, expected);
}

// The expected lines come in this order in a text (others may come between).
// For logs; a sequence of calls is checked with in_sequence or expect_sequence.
inline ::testing::AssertionResult in_order(const std::string& text,
                                           std::initializer_list<std::string> expected) {
    size_t at = 0;
    for (const std::string& name : expected) {
        at = text.find(name, at);
        if (at == std::string::npos)
            return ::testing::AssertionFailure() << name << " missing or out of order in:\n" << text;
        at += name.size();
    }
    return ::testing::AssertionSuccess();
}

// A value for an out-parameter (a pointer or handle) that no callee produces:
// preset before a call that fails, it shows whether the failure cleared it.
template <class P>
P poison() { return reinterpret_cast<P>(static_cast<std::uintptr_t>(0xBAADF00D)); }

// The reference count of an object, read without changing it.
template <class T>
unsigned long refs(T* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace gntest
