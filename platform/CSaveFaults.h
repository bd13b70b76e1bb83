#pragma once

// Mistakes a save can be told to make, so that the crash-state check is shown to catch each of
// them. None is made unless a test asks for it.
class CSaveFaults
{
public:
    enum Fault : unsigned
    {
        none = 0,
        // The rename that puts a new file in place is not made durable by syncing its folder.
        skipFolderSync = 1u << 0,
        // The backups move down a generation before the new notebook is in place.
        rotateBeforeReplacing = 1u << 1,
        // The files of a group take their names with no sync that makes their bytes durable.
        skipGroupSync = 1u << 2,
    };

    static bool Has(Fault fault);
    // For tests: the faults every save makes from now on.
    static void Set(unsigned faults);
};
