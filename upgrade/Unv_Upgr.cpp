#include "upgrade/Unv_Upgr.h"

TUnvFUpgr* UnvFUpgr = nullptr;

TUnvFUpgr::TUnvFUpgr() {
    using namespace gui;
    Create(FormDesc{.caption = L"  UPGRADE MANAGER*",
                    .clientWidth = 260,
                    .clientHeight = 104,
                    .border = BorderStyle::Dialog,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    Heading.Create(*this, {.text = L"INSTALACJA NA FTP",
                           .left = 32,
                           .top = 8,
                           .width = 128,
                           .height = 18,
                           .autoSize = false,
                           .font = Font{L"Tahoma", 8, FontUnit::Points, true, Rgb(128, 128, 128)}});
    doFTP.Create(*this, {.caption = L"do FTP", .bounds = {152, 38, 87, 21}});
    zFTP.Create(*this, {.caption = L"z FTP", .bounds = {152, 65, 87, 19}});
    doFTP.OnClick = [this] { doFTPClick(); };
    zFTP.OnClick = [this] { zFTPClick(); };
}

void TUnvFUpgr::doFTPClick() {
    // TODO(upgrade): doFTP_QV with the fixed test arguments, then the result box.
}

void TUnvFUpgr::zFTPClick() {
    // TODO(upgrade): zFTP_QV with the fixed test argument, then the result box.
}
