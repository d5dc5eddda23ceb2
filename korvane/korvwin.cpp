// korvwin
