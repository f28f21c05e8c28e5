#pragma once
// The main window and the FTP transfer window under the headless backend, a TEMP folder of
// the test's own, and an update server with the deployment's credentials.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "FtpTestServer.h"
#include "TestFolder.h"
#include "app/Vyt_Main.h"
#include "ftp/Unv_CFtp.h"
#include "gui/Headless.h"

extern const std::string kDeployUser;
extern const std::string kDeployPassword;

// A real program image built with the tests ("x64" or "x86"), read from beside the test
// program.
const std::string& TinyProgram(const std::wstring& arch);
// The image with bytes after its sections, as a real build carries data there: the marker,
// then pattern bytes up to size in all.
std::string PaddedImage(const std::string& image, const std::string& marker, std::size_t size);

struct CorrectionFixture : testing::Test {
    TestFolder temp;    // the TEMP folder
    TestFolder install; // the program's folder
    TUnvFCFtp transfer;
    TVytFMain window;
    std::optional<FtpTestServer> server;
    std::wstring savedTemp;
    bool hadTemp = false;

    void SetUp() override;
    void TearDown() override;

    // Starts the update server (scripted when a script is given) with firmy.txt and serves
    // it to the transfer window.
    FtpTestServer& StartServer(const std::string& firmList, const FtpScript* script = nullptr);
    void UseServer(const FtpTestServer& s);
    // Writes a file under the server's //Upgrade/Tavrin/ folder.
    void ServerFile(const std::wstring& relative, const std::string& bytes);
    // Sets TEMP for this process (nullptr: removes it).
    void SetTemp(const wchar_t* value);
    // Chooses the program through the open-file dialog and lets one status tick run.
    void Choose(const std::wstring& path);
    void PickFirm(const std::wstring& firm);
    std::vector<gui::headless::MessageBoxRecord> Boxes() { return gui::headless::TakeBoxes(); }
    // Whether the main window was enabled when each box since the last call came up.
    std::vector<bool> EnabledAtBoxes();

private:
    std::vector<bool> enabledAtBoxes_;
};
