# Checks that every source file includes only headers of its own layer or of a
# layer below it, and that nothing below the widgets includes a widget header.
# Run at every build (target layer_check) and by a test against a broken tree:
#   cmake -DROOT=<source dir> -P cmake/CheckLayers.cmake
if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers: set ROOT to the source folder")
endif()

# Folder -> the project folders its files may include.
set(ALLOW_base  base)
set(ALLOW_data  base data)
set(ALLOW_graph base data graph)
set(ALLOW_link  base data link)
# The simulated logger sits on the link; only the tools (and tests, benches, fuzz
# targets, which are not checked here) use it.
set(ALLOW_sim   base data link sim)
set(ALLOW_publish base data publish)
set(ALLOW_shell base data graph link publish shell)
set(ALLOW_ui    base data graph link publish shell ui)
set(ALLOW_app   base data graph link publish shell ui app)
# The command-line tool and the simulator share the core, never the shell or a widget.
set(ALLOW_tools base data graph link sim publish tools)
set(BELOW_WIDGETS base data graph link sim publish shell tools)
set(PROJECT_FOLDERS base data graph link sim publish shell ui app tools)

# Qt modules and headers that belong above the line.
set(WIDGET_PATTERN "^(QtWidgets|QtPrintSupport|QtTest)/|^Q(Widget|Dialog|MainWindow|Application|MessageBox|FileDialog|Label|PushButton|AbstractButton|LineEdit|ComboBox|Splitter|TreeView|TreeWidget|TableView|ListView|ScrollBar|ToolBar|StatusBar|Menu|MenuBar|Action|Printer|PrintDialog|PrintPreviewDialog|PageSetupDialog|ProgressBar|SpinBox|GroupBox|RadioButton|CheckBox|Frame|Layout|BoxLayout|HBoxLayout|VBoxLayout|GridLayout|FormLayout|Style|AbstractItemView|HeaderView|Test|SignalSpy)$")

set(violations "")
foreach(folder ${PROJECT_FOLDERS})
  file(GLOB_RECURSE files RELATIVE ${ROOT}
       ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  list(FIND BELOW_WIDGETS ${folder} below)
  foreach(f ${files})
    file(STRINGS ${ROOT}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" inc "${line}")
      # A path with ".." hides which layer it reaches; every include names its folder
      # from the source root instead.
      if(inc MATCHES "(^|/)\\.\\.(/|$)")
        string(APPEND violations "  ${f}: includes ${inc} (a relative path out of its folder)\n")
        continue()
      endif()
      if(inc MATCHES "^([a-z]+)/")
        set(top ${CMAKE_MATCH_1})
        list(FIND PROJECT_FOLDERS ${top} known)
        if(known GREATER -1)
          list(FIND ALLOW_${folder} ${top} ok)
          if(ok EQUAL -1)
            string(APPEND violations "  ${f}: includes ${inc} (layer ${top} is above ${folder})\n")
          endif()
        endif()
      endif()
      if(below GREATER -1 AND inc MATCHES "${WIDGET_PATTERN}")
        string(APPEND violations "  ${f}: includes the widget header <${inc}> below the widgets\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Layer rules broken:\n${violations}")
endif()
