import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr("Prismora")
    keywords: qsTr('chromatic fringe radial colour color lens', 'search keywords for the Prismora video filter') + ' prismora'
    mlt_service: 'frei0r.prismora'
    qml: 'ui.qml'
}
