#pragma once
// The FTP transfer window: a small always-on-top progress window with the local and remote
// paths of the running transfer and its progress bar. Every transfer of the system goes
// through its operations; each is one complete connection of its client, closed (and the
// window hidden) on every path.

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/FtpClient.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"

// The time-outs of the transfer window's client: a server that stops answering on the
// control connection (a whole reply) or on the data connection (each receive or send) ends
// the operation after a minute.
inline constexpr int kTransferReadTimeoutMs = 60000;
inline constexpr int kTransferDataTimeoutMs = 60000;

class TUnvFCFtp : public gui::Form {
public:
    TUnvFCFtp();

    gui::Label L_FNaz;
    gui::Label L_FDst;
    FtpClient IdFTP1;
    gui::ProgressBar PBarF;

    // The plain server address, user name and password, set by Init_Ftp.
    std::wstring Hst;
    std::wstring Usr;
    std::wstring Pas;

    // Unscrambles the three texts (text-key mode, or digit groups with DxE).
    void Init_Ftp(const std::wstring& pHst, const std::wstring& pUsr, const std::wstring& pPas,
                  bool DxE);
    // Fetches the remote file into a new local file. A remote file of size 0 is reported in
    // a box and ends the operation with a silent abort (EAbort); a fetch whose local file
    // does not have the size the server reported (fewer bytes, or more: then it stops at the
    // first byte too many) fails and leaves no file behind.
    void PlikFromFtp(const std::wstring& PlkFtp, const std::wstring& PlkLoc, bool kod);
    // Makes sure the remote folder exists and stores the local file. A local file that is
    // not found is reported in a box and ends the operation with a silent abort (EAbort).
    void PlikToFtp(const std::wstring& PlkLoc, const std::wstring& PlkFtp, bool kod);
    // Appends the names of the remote folder's entries to LList.
    void ListFromFtp(const std::wstring& DirFtp, std::vector<std::wstring>& LList);
    // Changes to, or else creates, the folder part of the remote path (connection open).
    void Utwrz_Folder(const std::wstring& pFtpPlk);
    // Changes to, or else creates, the remote folder (connection open).
    void Utwrz_FolderD(const std::wstring& pFtpDir);

    void IdFTP1Work(FtpClient& ASender, WorkMode AWorkMode, std::int64_t AWorkCount);
    void IdFTP1WorkBegin(FtpClient& ASender, WorkMode AWorkMode, std::int64_t AWorkCountMax);

    // The remote file's folder part, as Utwrz_Folder finds it ("//a/b/c.cab" -> "//a/b/").
    static std::wstring RemoteFolderOf(const std::wstring& remotePath);

private:
    void OpenConnection();
    // Closes the connection (if open) and hides the window; never throws.
    void Finish() noexcept;
};

extern TUnvFCFtp* UnvFCFtp;
