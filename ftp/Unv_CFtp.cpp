#include "ftp/Unv_CFtp.h"

TUnvFCFtp* UnvFCFtp = nullptr;

TUnvFCFtp::TUnvFCFtp() {
    using namespace gui;
    Create(FormDesc{.caption = L"  PRZERZUT NA/Z FTP*",
                    .clientWidth = 568,
                    .clientHeight = 42,
                    .border = BorderStyle::Tool,
                    .closeButton = false,
                    .stayOnTop = true,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    L_FNaz.Create(*this, {.text = L"----",
                          .left = 28,
                          .top = 6,
                          .width = 256,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    L_FDst.Create(*this, {.text = L"----",
                          .left = 290,
                          .top = 6,
                          .width = 247,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    PBarF.Create(*this, {.bounds = {18, 24, 535, 8},
                         .minimum = 0,
                         .maximum = 100,
                         .position = 30,
                         .barColor = Rgb(131, 187, 214),
                         .backColor = Rgb(255, 255, 255),
                         .border = false});
}
