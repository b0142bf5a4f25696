// Control commands that change the channel tree.
#include "control_channels.h"

#include "channels.h"

ControlFields RunChannelAdd(ControlArgs& args) {
    const int id = args.Number(0);
    const int parentId = args.Number(1);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(AddChannel(id, parentId, args.Text(2), args.TextOr(3, "")));
}

ControlFields RunChannelRename(ControlArgs& args) {
    const int id = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(RenameChannel(id, args.Text(1)));
}

ControlFields RunChannelMove(ControlArgs& args) {
    const int id = args.Number(0);
    const int parentId = args.Number(1);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(MoveChannel(id, parentId));
}

ControlFields RunChannelPassword(ControlArgs& args) {
    const int id = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(SetChannelPassword(id, args.TextOr(1, "")));
}

ControlFields RunChannelRemove(ControlArgs& args) {
    const int id = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(RemoveChannel(id));
}
