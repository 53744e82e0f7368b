#include "update/update_log.h"

#include "service/atomic_write.h"
#include "service/paths.h"
#include "service/version.h"

WideString update_log_path() { return join_path(base_directory(), u"TessavinServer-update.txt"); }

void update_log(const Utf8String& message) {
  write_file_atomic(update_log_path(),
                    Utf8String("TessavinServer ") + kServiceVersion + "\r\n" + message + "\r\n");
}
