// One attachment to a database over TCP through the client library binding, for read-only
// questions: database info items, and small queries in a read-only transaction. The service
// classes talk to the service manager; this talks to the database itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ibclient/gds_library.h"

// Where to attach and as whom.
struct AttachmentTarget {
  std::u16string server;    // host, or host/port
  std::u16string database;  // path or alias as the server sees it
  std::u16string user;
  std::u16string password;
};

// An isc_database_info answer: one value per item, in the order the server sent them.
class InfoAnswer {
 public:
  struct Item {
    unsigned char code;
    std::string value;
  };
  // An item the server answered with isc_info_error: the item and the error code it gave
  // (isc_infunk for an item it does not know, isc_adm_task_denied for one the user may not ask).
  struct Error {
    unsigned char item;
    ISC_STATUS code;
  };

  // Parses the clusters of buffer (item, 2-byte length, value) up to isc_info_end. An item
  // that comes back as isc_info_error is left out of the items and listed in the errors. An
  // answer cut at isc_info_truncated sets *cut and returns the items before it (raises without
  // cut). Raises EIBClientError on a malformed answer.
  static InfoAnswer Parse(std::string_view buffer, IGDSLibrary& library, bool* cut = nullptr);

  const std::vector<Item>& Items() const { return items_; }
  const std::vector<Error>& Errors() const { return errors_; }
  // Raises the first error as the server's error, in the client library's words; does nothing
  // when there is none.
  void RaiseFirstError() const;
  // The value of an item, or nothing when the answer lacks it.
  const std::string* Find(unsigned char code) const;
  // An item's value as a little-endian integer, as isc_vax_integer reads it: 1 to 4 bytes
  // unsigned, 8 bytes signed (the engine's form for counts past 32 bits).
  std::optional<int64_t> Integer(unsigned char code) const;

 private:
  std::vector<Item> items_;
  std::vector<Error> errors_;
  IGDSLibrary* library_ = nullptr;
};

// Raises EIBClientError "Unexpected answer from the server: <what>", for an answer that lacks
// what was asked or does not have its form.
[[noreturn]] void RaiseUnexpectedAnswer(std::u16string_view what);

// One value of a query row: NULL, a whole number (integers and booleans) or text (bytes in
// the attachment's character set, UTF-8).
using SqlValue = std::variant<std::monostate, int64_t, std::string>;
using SqlRow = std::vector<SqlValue>;

class DatabaseAttachment {
 public:
  // Attaches to server:database with user and password; every failure raises through the
  // status vector.
  DatabaseAttachment(std::shared_ptr<IGDSLibrary> library, const AttachmentTarget& target);
  // Detaches if still attached; a failure of that detach is dropped.
  ~DatabaseAttachment();
  DatabaseAttachment(const DatabaseAttachment&) = delete;
  DatabaseAttachment& operator=(const DatabaseAttachment&) = delete;

  // Ends the attachment; raises when the server refuses.
  void Detach();

  // Asks the server for the info items (one byte each), growing the answer buffer while the
  // server says it was cut.
  InfoAnswer Info(std::string_view items);
  // Asks once, with an answer buffer of buffer_length bytes (at most 32767), for items that may
  // carry arguments; *cut tells whether the server cut the answer at the buffer's end. For
  // items whose answers must not be asked twice, or that are meant to be cut.
  InfoAnswer InfoOnce(std::string_view request, size_t buffer_length, bool* cut);

  // Runs one SELECT in a read-only transaction of its own and returns every row. Columns may
  // be integers, booleans or text; any other type raises EIBClientError.
  std::vector<SqlRow> Query(std::string_view sql);

  // Whether the database has a table or view of this name (system ones included); tells a
  // table that a server version lacks from a query that fails.
  bool HasRelation(std::string_view name);

 private:
  std::shared_ptr<IGDSLibrary> library_;
  isc_db_handle handle_ = 0;
};
