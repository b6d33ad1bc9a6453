// What an installation touches, taken as one sorted list of items so that two states of the machine can be
// compared: every file and folder below the test's scratch root (size, content hash, attributes; links read
// back through the shell), the product's uninstall key and the .plk document type with every value.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

struct MachineSnapshot {
    // Item name ("file PATH", "folder PATH", "link PATH", "key PATH", "value KEY : NAME") to its description.
    std::map<std::string, std::string> items;

    static MachineSnapshot Take(const std::string& root);
    // The snapshot without the items whose path starts with prefix (kind word excluded).
    MachineSnapshot Without(const std::string& prefix) const;
    // Items whose path starts with prefix.
    MachineSnapshot Only(const std::string& prefix) const;
};

// A readable list of what was added, removed and changed; empty when the two are equal.
std::string SnapshotDifference(const MachineSnapshot& before, const MachineSnapshot& after);

inline ::testing::AssertionResult SameMachine(const MachineSnapshot& before, const MachineSnapshot& after)
{
    const std::string difference = SnapshotDifference(before, after);
    if (difference.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the machine differs:\n" << difference;
}
