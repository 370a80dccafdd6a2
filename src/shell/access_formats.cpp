#include "shell/access_formats.h"

#include "db/access/formats.h"
#include "shell/formats.h"

namespace tabulor::shell {

void ShareFormatsWithAccessLayer() {
  db::access::SetAccessFormatsSource([] { return Formats(); });
}

}  // namespace tabulor::shell
