// One node of the test process tree; see kftree_node.h.
#include "kftree_node.h"

int wmain(int argc, wchar_t** argv)
{
    return kftree::runNode(TREE_LEAF, argc, argv);
}
