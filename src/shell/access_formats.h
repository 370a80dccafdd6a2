#pragma once
// The Access layer converts texts with the process-wide formats; it reads them
// from here, so that a form changing the short date format changes its reading too.
namespace tabulor::shell {

void ShareFormatsWithAccessLayer();

}  // namespace tabulor::shell
