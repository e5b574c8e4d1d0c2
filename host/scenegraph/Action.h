// Licensed under the MIT licence; see LICENSE.
#pragma once

namespace osg {

// What a traversal visit asks for next.
struct Action {
    enum ResultE {
        Continue, // visit the children
        Skip,     // leave the children out, go on with the next sibling
        Quit,     // stop the whole traversal at once
    };
};

} // namespace osg
