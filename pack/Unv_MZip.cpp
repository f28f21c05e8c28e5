#include "pack/Unv_MZip.h"

TUnvFMZip* UnvFMZip = nullptr;

TUnvFMZip::TUnvFMZip() {
    using namespace gui;
    Create(FormDesc{.caption = L"  KOMPRESJA DANYCH*",
                    .clientWidth = 562,
                    .clientHeight = 54,
                    .border = BorderStyle::Tool,
                    .closeButton = false,
                    .stayOnTop = true,
                    .color = Rgb(240, 240, 240),
                    .font = Font{L"Tahoma", 8, FontUnit::Points, false, Rgb(0, 0, 0)}});
    L_FNaz.Create(*this, {.text = L"----", .left = 28, .top = 6, .width = 18, .height = 15});
    L_CCmp.Create(*this, {.text = L"----",
                          .left = 292,
                          .top = 6,
                          .width = 242,
                          .height = 15,
                          .autoSize = false,
                          .align = TextAlign::Right});
    PBarC.Create(*this, {.bounds = {16, 23, 531, 10}, .minimum = 0, .maximum = 100});
}
