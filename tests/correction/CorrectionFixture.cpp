#include "CorrectionFixture.h"

#include <windows.h>

#include <map>

#include "deploy/Deployment.h"
#include "upgrade/Unv_Upgr.h"
#include "util/pres.h"

const std::string kDeployUser = reinterpret_cast<const char*>(KOREKTA_PLAIN_USER);
const std::string kDeployPassword = reinterpret_cast<const char*>(KOREKTA_PLAIN_PASSWORD);

const std::string& TinyProgram(const std::wstring& arch) {
    static std::map<std::wstring, std::string> images;
    auto it = images.find(arch);
    if (it == images.end())
        it = images.emplace(arch, ReadFileBytes(ProgramFolder() + L"tiny-" + arch + L".exe")).first;
    return it->second;
}

std::string PaddedImage(const std::string& image, const std::string& marker, std::size_t size) {
    std::string bytes = image + marker;
    if (bytes.size() < size) bytes += PatternBytes(size - bytes.size(), 11);
    return bytes;
}

std::vector<bool> CorrectionFixture::EnabledAtBoxes() {
    std::vector<bool> out;
    out.swap(enabledAtBoxes_);
    return out;
}

void CorrectionFixture::SetUp() {
    gui::headless::Reset();
    gui::headless::OnMessageBox([this](const gui::headless::MessageBoxRecord&) {
        enabledAtBoxes_.push_back(window.Enabled());
    });
    UnvFCFtp = &transfer;
    VytFMain = &window;
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(L"TEMP", buffer, 32768);
    hadTemp = n > 0;
    savedTemp.assign(buffer, n);
    SetTemp(temp.Path().c_str());
}

void CorrectionFixture::TearDown() {
    SetEnvironmentVariableW(L"TEMP", hadTemp ? savedTemp.c_str() : nullptr);
    server.reset();
    UnvFCFtp = nullptr;
    VytFMain = nullptr;
    gui::headless::Reset();
}

FtpTestServer& CorrectionFixture::StartServer(const std::string& firmList,
                                              const FtpScript* script) {
    server.reset();
    server.emplace(script ? FtpTestServer::Scripted(*script, kDeployUser, kDeployPassword)
                          : FtpTestServer::Real(kDeployUser, kDeployPassword));
    WriteFileAt(server->Root() + L"Upgrade\\Tavrin\\firmy.txt", firmList);
    UseServer(*server);
    return *server;
}

void CorrectionFixture::UseServer(const FtpTestServer& s) {
    transfer.IdFTP1.Port = s.Port();
}

void CorrectionFixture::ServerFile(const std::wstring& relative, const std::string& bytes) {
    WriteFileAt(server->Root() + L"Upgrade\\Tavrin\\" + relative, bytes);
}

void CorrectionFixture::SetTemp(const wchar_t* value) {
    SetEnvironmentVariableW(L"TEMP", value);
}

void CorrectionFixture::Choose(const std::wstring& path) {
    gui::headless::AnswerOpenFile(path);
    window.Ed_PathExe.ClickButton();
    window.Tmr.SetEnabled(true);
    window.Tmr.Fire();
}

void CorrectionFixture::PickFirm(const std::wstring& firm) {
    const auto& items = window.CBx_Firm.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == firm) window.CBx_Firm.SetItemIndex(static_cast<int>(i));
}
