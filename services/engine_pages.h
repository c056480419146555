// Pages of the database read by number through the engine's own page cache, with the database
// info item fb_info_page_contents: the engine fetches each page as a query would, from its cache
// or else from the file into its cache, and may send it back. The server allows it to SYSDBA
// and the database's owner on Firebird 3, and to users with the system privilege READ_RAW_PAGES
// on Firebird 4 and later; others get isc_adm_task_denied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "services/database_attachment.h"

class EnginePages {
 public:
  // page_size as the server tells it (isc_info_page_size). Asks the server how many pages the
  // database file holds: a page past them is never asked for (the server logs each such read
  // as an I/O error, and a page number of 2^31 or more makes 3.0.11 and 4.0.5 fail every
  // attachment of the database with a consistency check).
  EnginePages(DatabaseAttachment& attachment, uint32_t page_size);

  // The pages of the database file when this began, and how many of them are in use (not
  // marked free in the page inventories).
  uint32_t FilePages() const { return file_pages_; }
  uint32_t UsedPages() const { return used_pages_; }

  // How many pages one request can bring back with their contents: the answers and a few bytes
  // more must fit the info call's buffer of at most 32767 bytes (7 of 4 KiB, 3 of 8 KiB, 1 of
  // 16 KiB, none of 32 KiB).
  size_t PagesPerRead() const;

  // The contents of the pages, in the order asked; at most PagesPerRead() of them. A user who
  // may not read pages gets EIBInterBaseError with isc_adm_task_denied, a page the server cannot
  // read its error; a page number not below FilePages() raises EIBClientError and is not sent.
  std::vector<std::string> Read(std::span<const uint32_t> pages);

  // Brings one page into the engine's cache without its contents coming back: the answer buffer
  // has room for an error but not for the page, so the engine fetches the page, finds no room
  // and cuts the answer. One request per page, of any page size, and a few bytes on the wire.
  // Raises as Read does.
  void Touch(uint32_t page);

  // Whether this user may read pages: touches the header page, which every attachment has
  // read already. Raises on any other failure.
  bool Allowed();

 private:
  // Raises for a page number that is not below FilePages().
  void CheckPage(uint32_t page) const;

  DatabaseAttachment& attachment_;
  uint32_t page_size_;
  uint32_t file_pages_ = 0;
  uint32_t used_pages_ = 0;
};
