/* The picture of the Quorvanta Demo's "samples alone" choice, in a module
 * of its own: a choice's picture may come from any module in SetupFiles/,
 * while the other choices share demo_icons.so. */
#include "icons/samples.xpm"
