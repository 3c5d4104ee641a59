// Prismora's main controls in Shotcut. Each slider shows the control's own
// range and hands the filter its value mapped onto 0 to 1, as the frei0r
// module takes it. Every other control keeps the plug-in's default (melt and
// Kdenlive reach them all).
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    width: 350
    height: 300

    // name, lowest, highest, default, in the control's own units
    property var sliders: [
        ['Amount', 0, 10, 1], ['Power', 0.5, 10, 2], ['Center X', 0, 1, 0.5],
        ['Center Y', 0, 1, 0.5], ['Blur Amount', 0, 3, 1], ['Vignetting Amount', -50, 50, 0]
    ]
    property var modes: ['1 Color', '2 Colors', '3 Colors']

    function toFilter(i, value) {
        var s = sliders[i];
        return (value - s[1]) / (s[2] - s[1]);
    }
    function fromFilter(i) {
        var s = sliders[i];
        return s[1] + filter.getDouble(s[0]) * (s[2] - s[1]);
    }

    Component.onCompleted: {
        // A whole-frame effect: MLT must not cut the frame into strips.
        filter.set('threads', 0);
        if (filter.isNew) {
            for (var i = 0; i < sliders.length; i++)
                filter.set(sliders[i][0], toFilter(i, sliders[i][3]));
            filter.set('Mode', '2 Colors');
            filter.set('Blur ON', 0);
            filter.set('Vignetting ON', 0);
        }
        for (var j = 0; j < sliders.length; j++)
            repeater.itemAt(j).children[1].value = fromFilter(j);
        modeCombo.currentIndex = Math.max(0, modes.indexOf(filter.get('Mode')));
        blurCheck.checked = filter.getDouble('Blur ON') >= 0.5;
        vignetteCheck.checked = filter.getDouble('Vignetting ON') >= 0.5;
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8

        Repeater {
            id: repeater

            model: sliders.length

            RowLayout {
                Label {
                    text: sliders[index][0]
                    Layout.minimumWidth: 120
                }

                Shotcut.SliderSpinner {
                    minimumValue: sliders[index][1]
                    maximumValue: sliders[index][2]
                    decimals: 3
                    onValueChanged: filter.set(sliders[index][0], toFilter(index, value))
                }
            }
        }

        RowLayout {
            Label {
                text: qsTr('Mode')
                Layout.minimumWidth: 120
            }

            Shotcut.ComboBox {
                id: modeCombo

                implicitWidth: 150
                model: modes
                onActivated: filter.set('Mode', modes[currentIndex])
            }
        }

        CheckBox {
            id: blurCheck

            text: qsTr('Blur ON')
            onClicked: filter.set('Blur ON', checked ? 1 : 0)
        }

        CheckBox {
            id: vignetteCheck

            text: qsTr('Vignetting ON')
            onClicked: filter.set('Vignetting ON', checked ? 1 : 0)
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
