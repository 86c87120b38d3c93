// Expected callbacks, declared before the test acts, in the manner of
// conformance tests: a double reports each call by name, a call that was not
// expected fails the test at once, and check_called() afterwards fails for
// every expected call that did not come. Out-parameters are preset to a
// poison value so that a failure path that leaves them untouched shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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
    // A double reports a call (CHECK_EXPECT): fails when not expected, or once too often.
    void call(const std::string& name) {
        auto it = rows_.find(name);
        if (it == rows_.end()) {
            ADD_FAILURE() << "unexpected call " << name;
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
};

// The expected calls come in this order among the recorded ones (others may
// come between): a list of call names, or a text with one call per line.
inline ::testing::AssertionResult in_order(const std::vector<std::string>& calls,
                                           std::initializer_list<const char*> expected) {
    auto at = calls.begin();
    for (const char* name : expected) {
        while (at != calls.end() && *at != name) ++at;
        if (at == calls.end()) {
            std::string all;
            for (const std::string& c : calls) all += "\n  " + c;
            return ::testing::AssertionFailure() << name << " missing or out of order in:" << all;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}
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
