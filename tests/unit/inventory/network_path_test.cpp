#include "core/identity/network_path.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace pellora {
namespace {

TEST(NetworkPath, EverySpellingOfAnotherMachineIsKnownWithoutAsking) {
    for (const char* path : {R"(\\server\share\x.exe)", R"(\\attacker@80\s\x.exe)", R"(\\host@SSL@443\dav\x.exe)",
                             R"(//server/share/x.exe)", R"(\\?\UNC\server\share\x.exe)", R"(\\.\unc\server\s\x)",
                             R"(\??\UNC\server\share\x)", R"(\\?\GLOBALROOT\Device\Mup\server\share\x.exe)",
                             R"(\\.\GLOBALROOT\Device\Mup\server\x)", R"(\Device\Mup\server\share)"})
        EXPECT_TRUE(IsNetworkSpelling(path)) << path;
    for (const char* path : {R"(C:\Windows\x.exe)", R"(\\?\C:\x.exe)", R"(\\.\C:\x.exe)", R"(\??\C:\x)",
                             R"(\\?\GLOBALROOT\Device\HarddiskVolume1\x)", R"(\\.\pipe\x)", "x.exe", ""})
        EXPECT_FALSE(IsNetworkSpelling(path)) << path;
}

TEST(NetworkPath, ARemoteDriveOrALinkOnTheWayLeadsAwayAndNothingThereIsAsked) {
    fakes::FakeFileSystem files;
    files.AddFile(R"(C:\Program Files\Tool\tool.exe)");
    files.remoteDrives = "z";
    // A junction in the user's folder to a share, one to a local folder, and a relative link.
    files.AddFolderLinkTo(R"(C:\Users\ann\share)", R"(\??\UNC\server\share)", true);
    files.AddFolderLinkTo(R"(C:\Users\ann\local)", R"(\??\C:\Program Files)", true);
    files.AddFolderLinkTo(R"(C:\Users\ann\up)", R"(..\ann\share)", true);

    NetworkPaths network(files);
    EXPECT_FALSE(network.IsNetwork(R"(C:\Program Files\Tool\tool.exe)"));
    EXPECT_FALSE(network.IsNetwork(R"(\\?\C:\Program Files\Tool\tool.exe)"));
    EXPECT_TRUE(network.IsNetwork(R"(Z:\tool.exe)"));
    EXPECT_TRUE(network.IsNetwork(R"(\\?\Z:\tool.exe)"));
    EXPECT_TRUE(network.IsNetwork(R"(C:\Users\ann\share\x.exe)"));
    EXPECT_TRUE(network.IsNetwork(R"(c:\users\ANN\share)"));
    EXPECT_TRUE(network.IsNetwork(R"(C:\Users\ann\up\x.exe)"));
    EXPECT_FALSE(network.IsNetwork(R"(C:\Users\ann\local\Tool\tool.exe)"));
    EXPECT_FALSE(network.IsNetwork(R"(C:\Nowhere\x.exe)"));
    for (const std::string& path : files.touched) {
        EXPECT_NE(path[0], 'Z') << path;
        EXPECT_EQ(path.find(R"(\ann\share\)"), std::string::npos) << path;
        EXPECT_EQ(path.find(R"(\\)"), std::string::npos) << path;
    }
    // Each folder is asked about once.
    const size_t asked = files.touched.size();
    EXPECT_TRUE(network.IsNetwork(R"(C:\Users\ann\share\y.exe)"));
    EXPECT_FALSE(network.IsNetwork(R"(C:\Program Files\Tool\tool.exe)"));
    EXPECT_EQ(files.touched.size(), asked);
}

}  // namespace
}  // namespace pellora
