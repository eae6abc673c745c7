# Warnings are set per target so that third-party code keeps its own flags.
function(parvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(PARVANE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
