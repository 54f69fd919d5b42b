#include <gtest/gtest.h>

#include "jobs/DriverVolumeSearch.h"

#include <filesystem>

namespace
{
    struct VolumeCase
    {
        const char* description;
        std::vector<const char*> folders; // relative to the volumes folder
        std::vector<const char*> files;
        const char* expected; // nullptr: nothing found
    };

    const VolumeCase volumeCases[] = {
        { "exact name", { "Avid 003 Family" }, {}, "Avid 003 Family" },
        { "case ignored", { "AVID 003 FAMILY DRIVER" }, {}, "AVID 003 FAMILY DRIVER" },
        { "fragment inside the name", { "Copy of Avid 003 Family" }, {}, "Copy of Avid 003 Family" },
        { "hidden folders are listed too", { ".Avid 003 Family" }, {}, ".Avid 003 Family" },
        { "among other volumes", { "Macintosh HD", "Avid 003 Family", "Backup" }, {}, "Avid 003 Family" },
        { "fragment cut short", { "Avid 003" }, {}, nullptr },
        { "blanks missing", { "Avid003Family" }, {}, nullptr },
        { "a plain file", {}, { "Avid 003 Family.dmg" }, nullptr },
        { "one level deeper", { "Macintosh HD", "Macintosh HD/Avid 003 Family" }, {}, nullptr },
        { "nothing mounted", {}, {}, nullptr },
    };

    class VolumeSearch : public testing::Test
    {
    protected:
        void TearDown() override { root.deleteRecursively(); }

        juce::File root = juce::File::createTempFile ("volumes");
        juce::File volumes = root.getChildFile ("Volumes");
    };
}

TEST_F (VolumeSearch, FindsOnlyFoldersDirectlyUnderVolumesWhoseNameHoldsTheFragment)
{
    for (const auto& c : volumeCases)
    {
        SCOPED_TRACE (c.description);

        volumes.deleteRecursively();
        ASSERT_TRUE (volumes.createDirectory());

        for (auto* folder : c.folders)
            ASSERT_TRUE (volumes.getChildFile (folder).createDirectory());

        for (auto* file : c.files)
            ASSERT_TRUE (volumes.getChildFile (file).create());

        const auto expected = c.expected != nullptr ? volumes.getChildFile (c.expected) : juce::File();

        EXPECT_EQ (findDriverVolume (volumes).getFullPathName(), expected.getFullPathName());
        EXPECT_EQ (isDriverVolumeMounted (volumes), c.expected != nullptr);
    }
}

TEST_F (VolumeSearch, NoVolumesFolderFindsNothing)
{
    ASSERT_FALSE (volumes.exists());

    EXPECT_EQ (findDriverVolume (volumes), juce::File());
    EXPECT_TRUE (findDriverVolume (volumes).getFullPathName().isEmpty());
    EXPECT_FALSE (isDriverVolumeMounted (volumes));
}

TEST_F (VolumeSearch, OfTwoMatchesTheListingsFirstWins)
{
    // The same image mounted twice.
    ASSERT_TRUE (volumes.getChildFile ("Avid 003 Family").createDirectory());
    ASSERT_TRUE (volumes.getChildFile ("Avid 003 Family 1").createDirectory());

    // The order the directory itself gives, not a sorted one.
    juce::String firstListed;

    for (const auto& entry : std::filesystem::directory_iterator (volumes.getFullPathName().toStdString()))
    {
        firstListed = entry.path().filename().string();
        break;
    }

    EXPECT_EQ (findDriverVolume (volumes), volumes.getChildFile (firstListed));
    EXPECT_TRUE (isDriverVolumeMounted (volumes));
}

TEST (VolumeSearchDefaults, SearchesTheSystemsVolumesFolder)
{
    EXPECT_EQ (getVolumesFolder().getFullPathName(), "/Volumes");
}
