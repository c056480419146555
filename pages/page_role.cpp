#include "pages/page_role.h"

std::string_view PageKindName(PageKind kind) {
  switch (kind) {
    case PageKind::Unknown:
      return "unknown";
    case PageKind::Header:
      return "header";
    case PageKind::PageInventory:
      return "page inventory";
    case PageKind::TransactionInventory:
      return "transaction inventory";
    case PageKind::Pointer:
      return "pointer";
    case PageKind::Data:
      return "data";
    case PageKind::IndexRoot:
      return "index root";
    case PageKind::BTree:
      return "b-tree";
    case PageKind::Blob:
      return "blob";
    case PageKind::Generators:
      return "generators";
    case PageKind::Scn:
      return "SCN";
    case PageKind::Empty:
      return "empty";
    case PageKind::Free:
      return "free";
  }
  return "?";
}
