#include "db/access/libmdb.h"

#include <sys/stat.h>

#include <cstring>

#include "db/access/error.h"

namespace tabulor::db::access {

uint32_t PageCount(MdbHandle* mdb) {
  struct stat info {};
  if (fstat(fileno(mdb->f->stream), &info) != 0) throw AccessError("taille du fichier illisible");
  return static_cast<uint32_t>(static_cast<uint64_t>(info.st_size) / static_cast<uint64_t>(mdb->fmt->pg_size));
}

std::vector<uint8_t> ReadPageCopy(MdbHandle* mdb, uint32_t page) {
  if (page >= PageCount(mdb)) throw AccessError("la page " + std::to_string(page) + " est au-delà de la fin du fichier");
  if (mdb_read_alt_pg(mdb, page) != mdb->fmt->pg_size) throw AccessError("la page " + std::to_string(page) + " est illisible");
  return std::vector<uint8_t>(mdb->alt_pg_buf, mdb->alt_pg_buf + mdb->fmt->pg_size);
}

}  // namespace tabulor::db::access
