// Version stamps: one row of t_DataFlowTimeStamp per scope. 'DataFlow'
// versions the template; 'DataFlow' followed by the decimal user ID versions
// that user's overlay. A missing row is created by its first read.
#ifndef LXM_TREE_STAMPS_H_
#define LXM_TREE_STAMPS_H_

#include <cstdint>
#include <string>

#include "platform/db_connection.h"
#include "platform/recordset.h"

namespace lxm {

inline constexpr std::string_view kTemplateStampName = "DataFlow";

// "DataFlow" followed by the user ID in decimal ("DataFlow16394").
std::string UserStampName(int32_t user_id);

// The stamp row's recordset (one field, the 8-byte row version), inserting the
// row first when it is missing. The first select names its field
// "lngTimeStamp" when `alias_first_read`, else "FTimeStamp"; the select after
// an insert always names it "lngTimeStamp". Concurrent first reads insert one
// row: the insert takes the write lock and inserts only when the row is still
// missing.
Recordset ReadStampRecordset(const DbConnection& connection, std::string_view stamp_name,
                             bool alias_first_read);

// The template stamp in text form ("0x" and 16 hex digits).
std::string ReadTemplateStamp(const DbConnection& connection);
// The user's stamp in text form.
std::string ReadUserStamp(const DbConnection& connection, int32_t user_id);

struct StampPair {
  std::string template_stamp;
  std::string user_stamp;
};
// Both stamps in text form, read in one statement; missing rows are created
// as by ReadStampRecordset, the template's first.
StampPair ReadStampPair(const DbConnection& connection, int32_t user_id);

// The stamp readers above remember what they read with the pooled
// connection (Transaction::Keep) and read the database again only once
// something was committed since, by this process or another, or when the
// call has written.

}  // namespace lxm

#endif  // LXM_TREE_STAMPS_H_
