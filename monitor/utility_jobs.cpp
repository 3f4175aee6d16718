// Maintenance and status jobs of the printer vendors' tools pass through
// untouched; they are recognised by their document name.
#include <array>
#include <string_view>

#include "monitor_internal.h"

namespace corvanta_lm {
namespace {

constexpr std::array<const wchar_t*, 5> kCanonUtilityJobs = {
    L"Canon Control Job", L"Utility...", L"Maintenance", L"Entretien", L"Wartung"};

constexpr std::array<const wchar_t*, 9> kEpsonUtilityJobs = {
    L"Head Cleaning",
    L"Nozzle Check",
    L"Print Head Alignment",
    L"D\u00fcsentest",
    L"Druckkopfreinigung",
    L"Druckkopf-Justage",
    L"V\u00e9rification des buses",
    L"Nettoyage des t\u00eates",
    L"Utilitaire d'alignement des t\u00eates"};

constexpr std::array<const wchar_t*, 6> kHpUtilityJobs = {
    L"Alignment", L"Selections", L"Accuracy", L"Clean", L"Printer Services Data", L"Printer Service Data"};

constexpr std::wstring_view kCanonStatusPrefix = L"Status Inquiry";

template <size_t N>
bool matchesAny(const std::array<const wchar_t*, N>& names, const wchar_t* documentName) {
  for (const wchar_t* name : names)
    if (lstrcmpiW(documentName, name) == 0) return true;
  return false;
}

bool startsWithStatusInquiry(const wchar_t* documentName) {
  const int length = static_cast<int>(kCanonStatusPrefix.size());
  for (int i = 0; i < length; ++i)
    if (documentName[i] == 0) return false;
  // A fixed locale every Windows version knows (the invariant one is newer
  // than some), so the match does not depend on the machine's.
  const LCID english = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
  return CompareStringW(english, NORM_IGNORECASE, documentName, length, kCanonStatusPrefix.data(), length) ==
         CSTR_EQUAL;
}

}  // namespace

bool isUtilityJob(int makerCode, const wchar_t* documentName) {
  const bool empty = documentName == nullptr || documentName[0] == 0;
  switch (makerCode) {
    case 1:
      if (empty) return false;
      if (matchesAny(kCanonUtilityJobs, documentName)) return true;
      return isNtPlatform() && startsWithStatusInquiry(documentName);
    case 2:
      return !empty && matchesAny(kEpsonUtilityJobs, documentName);
    default:
      return empty || matchesAny(kHpUtilityJobs, documentName);
  }
}

}  // namespace corvanta_lm
