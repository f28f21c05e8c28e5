#include "upgrade/Upg_FtpL.h"

TUpgFFtpL* UpgFFtpL = nullptr;

TUpgFFtpL::TUpgFFtpL() {
    using namespace gui;
    Create(FormDesc{.caption = L"UpgFFtpL*",
                    .clientWidth = 169,
                    .clientHeight = 268,
                    .border = BorderStyle::Sizeable,
                    .minMaxButtons = true,
                    .color = Rgb(240, 240, 240)});
    LBx.Create(*this, {.bounds = {0, 0, 169, 239}, .align = Align::Top});
}
