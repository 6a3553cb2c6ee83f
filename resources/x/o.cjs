Delvora skin 1
; Delvora's own look: light surfaces, one blue accent, rounded controls.
@name Clean
@palette Window #F4F6FA
@palette Button #FFFFFF
@palette Base #FFFFFF
@palette AlternateBase #F7F9FC
@palette Highlight #2563EB
@palette HighlightedText #FFFFFF
@palette WindowText #1F2937
@palette Text #1F2937
@palette ButtonText #1F2937
@style
QWidget#Form1 { background: #F4F6FA; color: #1F2937; }
QGroupBox {
  background: #F4F6FA;
  font: bold 9pt "Arial";
  border: 1px solid #D5DBE5;
  border-radius: 6px;
  margin-top: 7px;
}
QGroupBox::title {
  subcontrol-origin: margin;
  left: 10px;
  padding: 0 4px;
  color: #374151;
  background: transparent;
}
QGroupBox#Frame6 { border: none; background: transparent; margin-top: 0; }
QRadioButton {
  background: transparent;
  color: #1F2937;
  spacing: 5px;
  font: bold 9pt "Arial";
  border: 1px solid transparent;
}
QRadioButton:disabled { color: #9AA3B2; }
QRadioButton::indicator {
  width: 10px;
  height: 10px;
  border: 1px solid #8A94A6;
  border-radius: 6px;
  background: #FFFFFF;
}
QRadioButton::indicator:hover { border-color: #2563EB; }
QRadioButton:focus { border: 1px dotted #1F2937; border-radius: 3px; }
QRadioButton::indicator:checked {
  width: 4px;
  height: 4px;
  border: 4px solid #2563EB;
  border-radius: 6px;
  background: #FFFFFF;
}
QPushButton {
  background: #FFFFFF;
  color: #1F2937;
  border: 1px solid #C9D1DE;
  border-radius: 5px;
  padding: 1px 8px;
}
QPushButton:hover { background: #EEF3FF; border-color: #2563EB; }
QPushButton:pressed { background: #DCE6FF; }
QPushButton:focus { border-color: #2563EB; }
QPushButton:disabled { background: #F1F3F7; color: #9AA3B2; border-color: #DDE2EA; }
QPushButton#PushButton7 { background: #2563EB; color: #FFFFFF; border-color: #1D4ED8; }
QPushButton#PushButton7:hover { background: #1D4ED8; }
QPushButton#PushButton7:pressed { background: #1E40AF; }
QPushButton#PushButton7:focus { border: 2px solid #0B1F4D; padding: 0 7px; }
QLineEdit {
  background: #FFFFFF;
  color: #1F2937;
  border: 1px solid #C9D1DE;
  border-radius: 4px;
  padding: 0 4px;
  selection-background-color: #2563EB;
}
QLineEdit:focus { border-color: #2563EB; }
QLineEdit:disabled { background: #EEF0F4; color: #9AA3B2; }
QTreeView {
  background: #FFFFFF;
  color: #1F2937;
  border: 1px solid #C9D1DE;
  border-radius: 6px;
  selection-background-color: #2563EB;
  selection-color: #FFFFFF;
}
QTreeView:focus { border-color: #2563EB; }
QHeaderView { background: #EEF1F6; border: none; }
QHeaderView::section {
  font: bold 9pt "Arial";
  background: #EEF1F6;
  color: #374151;
  border: none;
  border-bottom: 1px solid #D5DBE5;
  padding: 3px 6px;
}
QProgressBar {
  background: #E5E9F0;
  color: #1F2937;
  border: 1px solid #C9D1DE;
  border-radius: 5px;
  text-align: center;
}
QProgressBar::chunk { background: #93C5FD; border-radius: 4px; }
QToolTip { background: #1F2937; color: #FFFFFF; border: none; padding: 4px; }
QMessageBox, QDialog { background: #F4F6FA; color: #1F2937; }
QMessageBox QLabel, QDialog QLabel { color: #1F2937; }
