#include "pack/CabComponent.h"

#include <windows.h>

// ---- The 8-bit texts ------------------------------------------------------------------------

AnsiString ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    AnsiString out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const AnsiString& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

bool ToAnsiExact(const std::wstring& text, AnsiString& out) {
    out.clear();
    if (text.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), n, nullptr, &usedDefault);
    // A code page may still map a character onto one that reads back differently.
    std::wstring back;
    return !usedDefault && FromAnsiExact(out, back) && back == text;
}

bool FromAnsiExact(const AnsiString& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), out.data(), n) == n;
}

// ---- Items --------------------------------------------------------------------------------

AnsiString TCabItem::ShortFileName() const {
    const std::size_t cut = FileName.find_last_of("\\:");
    return cut == AnsiString::npos ? FileName : FileName.substr(cut + 1);
}

TCabItem& TCabItemList::operator[](int index) const {
    if (index < 0 || index >= Count())
        throw ERangeError(L"Indeks elementu archiwum poza zakresem (" + std::to_wstring(index) +
                          L")");
    return *items_[static_cast<std::size_t>(index)];
}

TCabItem& TCabItemList::Add() {
    items_.push_back(std::make_unique<TCabItem>());
    return *items_.back();
}

void TCabItemList::Clear() {
    SingleItem = nullptr;
    items_.clear();
}

TCabItem* TCabItemList::Find(const AnsiString& name) const {
    for (const auto& item : items_)
        if (item->FileName == name) return item.get();
    return nullptr;
}

// ---- The component ------------------------------------------------------------------------

void TCabComponent::RecordError(std::uint16_t code) {
    lastError_ = code;
    if (OnError) OnError(*this, code);
    if (RaiseExceptions) throw ECabError(ErrorText(code));
}

void TCabComponent::RaiseStart() {
    if (OnStart) OnStart(*this);
}

void TCabComponent::RaiseFinish() {
    if (OnFinish) OnFinish(*this);
}

void TCabComponent::RaiseProgress(const AnsiString& fileName, std::int64_t fileSize,
                                  std::int64_t cabSize) {
    if (OnProgress) OnProgress(*this, fileName, currentIndex_, fileSize, cabSize);
}

std::wstring TCabComponent::TextOf(std::span<const wchar_t* const> table, std::uint16_t code) {
    return code < table.size() ? table[code] : L"Unknown error code";
}

void TCabComponent::FinishRun(std::exception_ptr failure) {
    if (!failure) {
        RaiseFinish();
        return;
    }
    try {
        RaiseFinish();
    } catch (...) {
    }
    std::rethrow_exception(failure);
}
