# The layer rule, stated once: which folders each product layer may include
# from (itself and the layers below it), and the project's folders. Read by
# the source check (check-includes.cmake) and by the build's probes
# (tests/CMakeLists.txt).
set(may_use_core core)
set(may_use_kit kit core)
set(may_use_midi midi backends core)
set(may_use_backends backends core)
set(may_use_protocol protocol kit midi core)
set(may_use_app app protocol kit midi core)
set(may_use_sim sim backends core)
set(product_layers core kit midi backends protocol app)
set(project_folders core kit midi backends protocol app sim tests tools)
