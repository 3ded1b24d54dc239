/* Pictures of the Quorvanta Demo's installation choices. The wizard loads
 * this module from SetupFiles/ and takes each picture, an XPM array, by the
 * symbol that the description's icon field names. */
#include "icons/full.xpm"
#include "icons/custom.xpm"
#include "icons/more.xpm"
#include "icons/core.xpm"
#include "icons/docs.xpm"
