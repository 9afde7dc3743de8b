#include "bank_folder_picker.h"

namespace tavik {

bool pickBankFolder (std::string& path, std::string& error)
{
	path.clear ();
	error = "this build has no folder picker";
	return false;
}

} // namespace tavik
